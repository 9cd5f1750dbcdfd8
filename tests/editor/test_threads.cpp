// The plug-in used from two threads as a host uses it, built with
// ThreadSanitizer (-DBRONTAL_TSAN=ON): the audio thread processes block
// after block while the host's user-interface thread opens and closes the
// editor, clicks it, ticks its timer, sets parameters, forwards the meters,
// asks for the tail, and saves and loads both states. Any data race is a
// ThreadSanitizer report, which fails the run.
#include "editorfixture.h"

#include <atomic>
#include <cstring>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

using namespace brontal::editortest;
using namespace Steinberg;
using namespace Steinberg::Vst;
namespace host = brontal::host;

namespace {

constexpr int32 kBlock = 256;

// What the host carries between its two threads, under its own lock: edits
// for the next block, and the indicator values of the last ones.
struct HostMailbox
{
	std::mutex lock;
	std::vector<std::pair<ParamID, ParamValue>> edits;
	std::vector<std::pair<ParamID, ParamValue>> indicators;
	std::atomic<long> blocks{0};
};

void audioThread(host::PluginInstance& instance, HostMailbox& mailbox, const std::atomic<bool>& stop)
{
	std::vector<float> inL(kBlock), inR(kBlock), outL(kBlock), outR(kBlock);
	float* ins[2] = {inL.data(), inR.data()};
	float* outs[2] = {outL.data(), outR.data()};
	uint32 state = 5;
	std::vector<std::pair<ParamID, ParamValue>> edits;
	while (!stop.load())
	{
		{
			std::lock_guard<std::mutex> guard(mailbox.lock);
			edits.swap(mailbox.edits);
		}
		for (const auto& [id, value] : edits)
			instance.block().inputChanges().add(id, value);
		edits.clear();
		for (int32 i = 0; i < kBlock; ++i)
		{
			state = state * 1664525u + 1013904223u;
			inL[size_t(i)] = inR[size_t(i)] = static_cast<float>(static_cast<int32>(state)) / 2147483648.0f;
		}
		instance.block().setTempo(100.0 + static_cast<double>(mailbox.blocks.load() % 50));
		EXPECT_EQ(instance.process({ins, 2, outs, 2, kBlock, 0}), kResultOk);

		host::ParameterChanges& out = instance.block().outputChanges();
		std::lock_guard<std::mutex> guard(mailbox.lock);
		for (int32 i = 0; i < out.getParameterCount(); ++i)
		{
			auto* queue = static_cast<host::ParamValueQueue*>(out.getParameterData(i));
			if (const auto value = queue->lastValue())
				mailbox.indicators.emplace_back(queue->getParameterId(), *value);
		}
		mailbox.blocks.fetch_add(1);
	}
}

class Threads : public EditorFixture
{
};

} // namespace

TEST_F(Threads, UserInterfaceAndAudioThreadsShareOnlyTheCells)
{
	host::ProcessSetup setup;
	setup.maxBlockSize = kBlock;
	instance->activate(setup);
	HostMailbox mailbox;
	std::atomic<bool> stop{false};
	std::thread audio(audioThread, std::ref(*instance), std::ref(mailbox), std::cref(stop));

	std::mt19937 rng(11);
	std::uniform_int_distribution<int> knob(1, 12);
	std::uniform_real_distribution<double> level(0.0, 1.0);
	IComponent* component = instance->component();
	IEditController* edit = controller();
	bool open = false;
	for (int round = 0; round < 24; ++round)
	{
		SCOPED_TRACE(round);
		if (!open)
		{
			openEditor();
			open = true;
		}
		// The user: a footswitch and a parameter from the host's own panel.
		session->click(88 + 57, 310 + 94);
		const ParamID id = static_cast<ParamID>(knob(rng));
		const ParamValue value = level(rng);
		edit->setParamNormalized(id, value);
		std::vector<std::pair<ParamID, ParamValue>> edits{{id, value}};
		for (const host::EditCall& call : calls())
			if (call.kind == host::EditCall::Kind::Perform)
				edits.emplace_back(call.id, call.value);
		instance->handler().clear();

		// The host: edits to the audio thread, meters to the controller.
		std::vector<std::pair<ParamID, ParamValue>> indicators;
		{
			std::lock_guard<std::mutex> guard(mailbox.lock);
			mailbox.edits.insert(mailbox.edits.end(), edits.begin(), edits.end());
			indicators.swap(mailbox.indicators);
		}
		for (const auto& [indicator, shown] : indicators)
			edit->setParamNormalized(indicator, shown);
		session->tick();
		EXPECT_GT(instance->processor()->getTailSamples(), 0u);

		// Saving and loading the project while the audio runs.
		host::ByteStream saved;
		ASSERT_EQ(component->getState(&saved), kResultOk);
		host::ByteStream controllerSaved;
		ASSERT_EQ(edit->getState(&controllerSaved), kResultOk);
		saved.rewind();
		ASSERT_EQ(component->setState(&saved), kResultOk);
		saved.rewind();
		ASSERT_EQ(edit->setComponentState(&saved), kResultOk);
		controllerSaved.rewind();
		ASSERT_EQ(edit->setState(&controllerSaved), kResultOk);

		if (round % 4 == 3)
		{
			ASSERT_EQ(session->remove(), kResultOk);
			session->releaseView();
			open = false;
		}
	}
	// Let the audio thread see the last edits before stopping it.
	const long seen = mailbox.blocks.load();
	while (mailbox.blocks.load() < seen + 2)
		std::this_thread::yield();
	stop = true;
	audio.join();
	if (open)
		ASSERT_EQ(session->remove(), kResultOk);
	EXPECT_GT(mailbox.blocks.load(), 24);
}
