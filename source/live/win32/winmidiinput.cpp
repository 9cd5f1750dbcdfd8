#include "win32/winmidiinput.h"

#include <windows.h>
#include <mmsystem.h>

#include "platform/win32/win32text.h"

namespace brontal::live {

namespace {

using win32::narrow;

std::string errorText(MMRESULT result)
{
	wchar_t text[MAXERRORLENGTH] = {};
	if (midiInGetErrorTextW(result, text, MAXERRORLENGTH) != MMSYSERR_NOERROR)
		return "error " + std::to_string(result);
	return narrow(text);
}

class WinMidiInput : public MidiInput
{
public:
	~WinMidiInput() override { close(); }

	std::vector<std::string> listPorts() override
	{
		std::vector<std::string> ports;
		for (UINT id = 0, count = midiInGetNumDevs(); id < count; ++id)
		{
			MIDIINCAPSW caps{};
			if (midiInGetDevCapsW(id, &caps, sizeof caps) == MMSYSERR_NOERROR)
				ports.push_back(narrow(caps.szPname));
		}
		return ports;
	}

	void open(const std::string& port, MidiReceiver& target) override
	{
		close();
		if (port.empty())
			return;
		const std::vector<std::string> ports = listPorts();
		if (ports.empty())
			throw DeviceError("there is no Windows MIDI input to open '" + port + "' on");
		UINT id = 0;
		while (id < ports.size() && ports[id] != port)
			++id;
		if (id == ports.size())
			throw DeviceError("there is no Windows MIDI input named '" + port + "' (--list-devices lists them)");
		receiver = &target;
		MMRESULT result = midiInOpen(&handle, id, reinterpret_cast<DWORD_PTR>(&WinMidiInput::onMessage),
		                             reinterpret_cast<DWORD_PTR>(this), CALLBACK_FUNCTION);
		if (result == MMSYSERR_NOERROR && (result = midiInStart(handle)) != MMSYSERR_NOERROR)
			close();
		if (result != MMSYSERR_NOERROR)
		{
			handle = nullptr;
			throw DeviceError("the MIDI input '" + port + "' cannot be opened: " + errorText(result));
		}
	}

	void close() override
	{
		if (!handle)
			return;
		midiInStop(handle);
		midiInReset(handle);
		midiInClose(handle);
		handle = nullptr;
	}

private:
	// The driver's thread: short messages only, handed on as they come.
	static void CALLBACK onMessage(HMIDIIN, UINT kind, DWORD_PTR instance, DWORD_PTR packed, DWORD_PTR)
	{
		if (kind != MIM_DATA)
			return;
		MidiMessage message;
		for (int i = 0; i < 3; ++i)
			message.bytes[i] = static_cast<std::uint8_t>((packed >> (8 * i)) & 0xFF);
		const int status = message.bytes[0] & 0xF0;
		message.size = status == 0xC0 || status == 0xD0 ? 2 : 3;
		reinterpret_cast<WinMidiInput*>(instance)->receiver->midiReceived(message);
	}

	HMIDIIN handle = nullptr;
	MidiReceiver* receiver = nullptr;
};

} // namespace

std::unique_ptr<MidiInput> createWinMidiInput()
{
	return std::make_unique<WinMidiInput>();
}

} // namespace brontal::live
