#include "alsa/alsaseqinput.h"

#include <alsa/asoundlib.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <thread>

namespace brontal::live {

namespace {

constexpr const char* kClientName = "brontal-live";
constexpr const char* kPortName = "midi_in";

// The library's own line for a sequencer it cannot open would be a second
// message for one fault: ours says it.
void quiet(const char*, int, const char*, int, const char*, ...) {}

int openSequencer(snd_seq_t** seq, int streams, int mode)
{
	snd_lib_error_set_handler(quiet);
	const int result = snd_seq_open(seq, "default", streams, mode);
	snd_lib_error_set_handler(nullptr);
	return result;
}

// A sequencer client with one port others write to, read on a thread of its
// own that a pipe wakes to stop.
class AlsaSeqInput : public MidiInput
{
public:
	~AlsaSeqInput() override { close(); }

	std::vector<std::string> listPorts() override
	{
		std::vector<std::string> ports;
		snd_seq_t* probe = nullptr;
		if (openSequencer(&probe, SND_SEQ_OPEN_INPUT, 0) < 0)
			return ports;
		snd_seq_client_info_t* client = nullptr;
		snd_seq_port_info_t* info = nullptr;
		snd_seq_client_info_alloca(&client);
		snd_seq_port_info_alloca(&info);
		snd_seq_client_info_set_client(client, -1);
		while (snd_seq_query_next_client(probe, client) >= 0)
		{
			snd_seq_port_info_set_client(info, snd_seq_client_info_get_client(client));
			snd_seq_port_info_set_port(info, -1);
			while (snd_seq_query_next_port(probe, info) >= 0)
			{
				constexpr unsigned kReadable = SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ;
				if ((snd_seq_port_info_get_capability(info) & kReadable) == kReadable)
					ports.push_back(std::string(snd_seq_client_info_get_name(client)) + ":" +
					                std::to_string(snd_seq_port_info_get_port(info)));
			}
		}
		snd_seq_close(probe);
		return ports;
	}

	void open(const std::string& source, MidiReceiver& target) override
	{
		close();
		int error = openSequencer(&seq, SND_SEQ_OPEN_INPUT, SND_SEQ_NONBLOCK);
		if (error < 0)
		{
			seq = nullptr;
			throw DeviceError(std::string("the ALSA sequencer is not available (") + snd_strerror(error) + ")");
		}
		snd_seq_set_client_name(seq, kClientName);
		port = snd_seq_create_simple_port(seq, kPortName, SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE,
		                                  SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
		if (port < 0 || snd_midi_event_new(16, &parser) < 0 || pipe(wake) != 0)
			fail("the ALSA sequencer refused the application's port");
		snd_midi_event_no_status(parser, 1);
		if (!source.empty())
		{
			snd_seq_addr_t from{};
			if (snd_seq_parse_address(seq, &from, source.c_str()) < 0 ||
			    snd_seq_connect_from(seq, port, from.client, from.port) < 0)
				fail("there is no ALSA sequencer port '" + source + "' to connect (--list-devices lists them)");
		}
		receiver = &target;
		running = true;
		worker = std::thread([this] { loop(); });
	}

	void close() override
	{
		if (worker.joinable())
		{
			running = false;
			const char byte = 0;
			if (write(wake[1], &byte, 1) < 0)
				running = false;
			worker.join();
		}
		for (int& end : wake)
		{
			if (end >= 0)
				::close(end);
			end = -1;
		}
		if (parser)
			snd_midi_event_free(parser);
		parser = nullptr;
		if (seq)
			snd_seq_close(seq);
		seq = nullptr;
		port = -1;
	}

private:
	[[noreturn]] void fail(const std::string& message)
	{
		close();
		throw DeviceError(message);
	}

	void loop()
	{
		const int count = snd_seq_poll_descriptors_count(seq, POLLIN);
		std::vector<pollfd> fds(static_cast<std::size_t>(count) + 1);
		snd_seq_poll_descriptors(seq, fds.data(), static_cast<unsigned>(count), POLLIN);
		fds[static_cast<std::size_t>(count)] = {wake[0], POLLIN, 0};
		while (running)
		{
			if (poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR)
				break;
			snd_seq_event_t* event = nullptr;
			while (running && snd_seq_event_input(seq, &event) >= 0 && event)
			{
				MidiMessage message;
				const long size = snd_midi_event_decode(parser, message.bytes, sizeof message.bytes, event);
				// Longer messages (system exclusive) mean nothing here.
				if (size > 0)
				{
					message.size = static_cast<int>(size);
					receiver->midiReceived(message);
				}
			}
		}
	}

	snd_seq_t* seq = nullptr;
	snd_midi_event_t* parser = nullptr;
	int port = -1;
	int wake[2] = {-1, -1};
	MidiReceiver* receiver = nullptr;
	std::atomic<bool> running{false};
	std::thread worker;
};

} // namespace

std::unique_ptr<MidiInput> createAlsaSeqInput()
{
	return std::make_unique<AlsaSeqInput>();
}

} // namespace brontal::live
