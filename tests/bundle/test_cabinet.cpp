// The player's cabinet response through the bundle: sent by message, kept in
// the state's 'cabi' chunk, back from the state with no file anywhere.

#include "bundlefixture.h"
#include "cabinetpayload.h"
#include "host/presetfile.h"

#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivstmessage.h"
#include "public.sdk/source/vst/hosting/hostclasses.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

using namespace bundletest;
using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

using Bytes = std::vector<char>;

void Word(Bytes& b, uint32_t v)
{
	for (int i = 0; i < 4; ++i)
		b.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

using cabinettest::Decaying;
using cabinettest::Payload;

tresult Send(host::PluginInstance& instance, const Bytes& payload)
{
	IConnectionPoint* point = host::queryInterface<IConnectionPoint>(instance.component());
	IMessage* message = new HostMessage;
	message->setMessageID("BrontalCabinet");
	if (!payload.empty()) // the built-in mix: no payload at all
		message->getAttributes()->setBinary("Payload", payload.data(), static_cast<uint32>(payload.size()));
	const tresult result = point->notify(message);
	message->release();
	point->release();
	return result;
}

Bytes Saved(host::PluginInstance& instance)
{
	host::ByteStream stream;
	EXPECT_EQ(instance.component()->getState(&stream), kResultOk);
	return stream.bytes();
}

void Load(host::PluginInstance& instance, const Bytes& state)
{
	host::ByteStream stream(state);
	ASSERT_EQ(instance.component()->setState(&stream), kResultOk);
}

Stereo Play(host::PluginInstance& instance)
{
	return render(instance, sine(24000, 196.0, 48000.0, 0.3f), 256);
}

// What a state without a response holds: where a 'cabi' chunk begins.
size_t BaseStateSize()
{
	host::PluginInstance fresh(bundle());
	return Saved(fresh).size();
}
} // namespace

// A response sent by message is heard, saved after the record as 'cabi'
// version 1 holding exactly the payload, and a new instance loading that
// state sounds the same, sample for sample, with no file at the path.
TEST(Cabinet, SentResponseIsSavedAndComesBackFromTheState)
{
	const size_t kCabiAt = BaseStateSize();
	const Bytes payload = Payload(44100, Decaying(13230, 1), Decaying(13230, 2));
	auto sender = activeInstance();
	const Stereo builtIn = Play(*sender);
	ASSERT_EQ(Send(*sender, payload), kResultOk);
	sender->component()->setActive(false);
	sender->component()->setActive(true);
	const Bytes state = Saved(*sender);
	const Stereo withResponse = Play(*sender);
	EXPECT_NE(withResponse.left, builtIn.left);
	EXPECT_NE(withResponse.left, withResponse.right);

	const size_t uCabi = kCabiAt;
	ASSERT_LT(uCabi + 4, state.size());
	EXPECT_EQ(std::string(state.begin() + static_cast<std::ptrdiff_t>(uCabi), state.begin() + static_cast<std::ptrdiff_t>(uCabi) + 4), "cabi");
	Bytes header;
	Word(header, 1);
	Word(header, static_cast<uint32_t>(payload.size()));
	EXPECT_TRUE(std::equal(header.begin(), header.end(), state.begin() + static_cast<std::ptrdiff_t>(uCabi) + 4));
	EXPECT_TRUE(std::equal(payload.begin(), payload.end(), state.begin() + static_cast<std::ptrdiff_t>(uCabi) + 12));
	EXPECT_EQ(uCabi + 12 + payload.size(), state.size());

	auto loader = activeInstance();
	Load(*loader, state);
	loader->component()->setActive(false);
	loader->component()->setActive(true);
	// The same bytes, but for the meters, which activation clears.
	Bytes resaved = Saved(*loader), expected = state;
	std::fill(expected.begin() + 4 * kOutputLeftVumeter, expected.begin() + 4 * (kCompressionLed + 1), 0);
	EXPECT_EQ(resaved, expected);
	const Stereo again = Play(*loader);
	const Stereo reference = [&] {
		auto fresh = activeInstance();
		Load(*fresh, state);
		fresh->component()->setActive(false);
		fresh->component()->setActive(true);
		return Play(*fresh);
	}();
	EXPECT_EQ(again.left, reference.left);
	EXPECT_EQ(again.right, reference.right);
	EXPECT_NE(again.left, builtIn.left);

	// Back to the built-in mix by a message without a payload: as a fresh instance.
	ASSERT_EQ(Send(*loader, {}), kResultOk);
	loader->component()->setActive(false);
	loader->component()->setActive(true);
	EXPECT_EQ(Saved(*loader).size(), kCabiAt);
	EXPECT_EQ(Play(*loader).left, builtIn.left);
}

// A state without the chunk, or with one cut, oversized or not valid, loads
// its record and the built-in cabinet; a bad message changes nothing.
TEST(Cabinet, BrokenChunksAndMessagesLeaveTheBuiltInCabinet)
{
	const size_t kCabiAt = BaseStateSize();
	auto sender = activeInstance();
	ASSERT_EQ(Send(*sender, Payload(48000, Decaying(4800, 3), {})), kResultOk);
	const Bytes good = Saved(*sender);

	std::vector<Bytes> broken;
	broken.push_back(Bytes(good.begin(), good.end() - 1)); // cut
	Bytes oversized = good;
	oversized[kCabiAt + 11] = 0x7F; // claims far more than the state holds
	broken.push_back(oversized);
	for (const Bytes& payload : {Payload(48000, {0.0f, 0.0f}, {}), Payload(7999, {0.5f}, {}), Payload(48000, {NAN}, {}),
	                             Payload(48000, {0.5f}, {}, 4), Payload(8000, std::vector<float>(16001, 0.1f), {})})
	{
		Bytes state(good.begin(), good.begin() + kCabiAt);
		state.insert(state.end(), {'c', 'a', 'b', 'i'});
		Word(state, 1);
		Word(state, static_cast<uint32_t>(payload.size()));
		state.insert(state.end(), payload.begin(), payload.end());
		broken.push_back(state);
	}
	Bytes version2 = good;
	version2[kCabiAt + 4] = 2;
	broken.push_back(version2);
	for (size_t i = 0; i < broken.size(); ++i)
	{
		SCOPED_TRACE(i);
		auto instance = activeInstance();
		ASSERT_EQ(Send(*instance, Payload(48000, {0.25f}, {})), kResultOk);
		Bytes withReverb = broken[i];
		const float fReverb = 0.3f;
		std::memcpy(&withReverb[4 * kReverbLevel], &fReverb, 4);
		Load(*instance, withReverb);
		instance->component()->setActive(false);
		instance->component()->setActive(true);
		const Bytes saved = Saved(*instance);
		EXPECT_EQ(saved.size(), kCabiAt);
		float fSaved;
		std::memcpy(&fSaved, &saved[4 * kReverbLevel], 4);
		EXPECT_EQ(fSaved, 0.3f);
		auto recordOnly = activeInstance();
		Load(*recordOnly, Bytes(withReverb.begin(), withReverb.begin() + 80));
		recordOnly->component()->setActive(false);
		recordOnly->component()->setActive(true);
		EXPECT_EQ(Play(*instance).left, Play(*recordOnly).left);
	}

	auto instance = activeInstance();
	EXPECT_EQ(Send(*instance, Payload(48000, {0.0f}, {})), kInvalidArgument);
	EXPECT_EQ(Send(*instance, Bytes{1, 2, 3}), kInvalidArgument);
	EXPECT_EQ(Saved(*instance).size(), kCabiAt);
}

namespace {
// The worst difference of y from reference over the first n samples, in dB
// of the reference's peak there.
double DifferenceDb(const std::vector<float>& y, const std::vector<float>& reference, size_t n)
{
	double dErr = 0.0;
	for (size_t i = 0; i < n; ++i)
		dErr = std::max(dErr, std::fabs(static_cast<double>(y[i]) - reference[i]));
	return 20.0 * std::log10(std::max(dErr, 1e-30) / peak(reference, 0, n));
}
} // namespace

// A stereo response whose right side is its left 5 ms later, untrimmed and
// unscaled: after it every block runs per channel at the same absolute
// times, so the left output is what a mono unit impulse gives, and the
// right output is what the mono unit impulse gives for the input 5 ms
// later, the chorus's oscillator standing where it stands. With each
// effect on alone, and none, to within -100 dB of the peak (the partitions'
// float transforms round at about -130 dB). The delay feeds each side's
// repeats into the other: it is compared until its first repeat (half a
// beat, 12000 samples or more), where it is a gain on each side.
TEST(Cabinet, AStereoResponseReachesEveryEffectOnBothSides)
{
	constexpr size_t kShift = 240, kOnset = 4800, kLength = 36000;
	std::vector<float> afLeft(kShift + 1, 0.0f), afRight(kShift + 1, 0.0f);
	afLeft[0] = 1.0f;
	afRight[kShift] = 1.0f;
	const std::vector<float> afBurst = Decaying(9600, 7);
	Stereo x(kLength), xLater(kLength);
	for (size_t i = 0; i < afBurst.size(); ++i)
	{
		x.left[kOnset + i] = x.right[kOnset + i] = 0.2f * afBurst[i];
		xLater.left[kOnset + kShift + i] = xLater.right[kOnset + kShift + i] = 0.2f * afBurst[i];
	}
	const ParamID aEffects[] = {kModulationOnOff, kDelayOnOff, kReverbOnOff, kStereoEnhancerOnOff};
	for (int iOn = -1; iOn < 4; ++iOn)
	{
		SCOPED_TRACE(iOn < 0 ? 0 : aEffects[iOn]);
		std::vector<std::pair<ParamID, double>> changes;
		for (int i = 0; i < 4; ++i)
			changes.push_back({aEffects[i], i == iOn ? 1.0 : 0.0});
		const auto play = [&](const Bytes& payload, const Stereo& input) {
			auto instance = activeInstance();
			EXPECT_EQ(Send(*instance, payload), kResultOk);
			instance->component()->setActive(false);
			instance->component()->setActive(true);
			return render(*instance, input, 256, changes);
		};
		const Stereo stereo = play(Payload(48000, afLeft, afRight, 0), x);
		const Stereo now = play(Payload(48000, {1.0f}, {}, 0), x);
		const Stereo later = play(Payload(48000, {1.0f}, {}, 0), xLater);
		const size_t n = iOn >= 0 && aEffects[iOn] == kDelayOnOff ? kOnset + 12000 : kLength;
		const double dLeft = DifferenceDb(stereo.left, now.left, n);
		const double dRight = DifferenceDb(stereo.right, later.right, n);
		std::printf("      effect %d alone: left %.1f dB, right %.1f dB from the model\n",
		            iOn < 0 ? 0 : static_cast<int>(aEffects[iOn]), dLeft, dRight);
		EXPECT_LT(dLeft, -100.0);
		EXPECT_LT(dRight, -100.0);
	}
}

// A preset saved with a response carries it: a .vstpreset file written from
// the instance and loaded into another, as a host does, plays the response
// sample for sample as an instance sent it by message, with the file it
// came from nowhere.
TEST(Cabinet, APresetSavedWithAResponseCarriesIt)
{
	const Bytes payload = Payload(48000, Decaying(9600, 11), Decaying(9600, 12));
	const auto fromMessage = [&] {
		auto instance = activeInstance();
		EXPECT_EQ(Send(*instance, payload), kResultOk);
		instance->component()->setActive(false);
		instance->component()->setActive(true);
		return instance;
	};
	const std::string sPath = testing::TempDir() + "brontal-cabinet.vstpreset";
	{
		auto sender = fromMessage();
		const std::vector<char> file = host::writePreset(sender->classId(), *sender->component(), *sender->controller());
		std::ofstream(sPath, std::ios::binary).write(file.data(), static_cast<std::streamsize>(file.size()));
	}
	auto loader = activeInstance();
	const Stereo builtIn = Play(*loader);
	loader->loadPreset(host::readPreset(sPath));
	std::remove(sPath.c_str());
	loader->component()->setActive(false);
	loader->component()->setActive(true);
	const Stereo again = Play(*loader);
	const Stereo reference = Play(*fromMessage());
	EXPECT_EQ(again.left, reference.left);
	EXPECT_EQ(again.right, reference.right);
	EXPECT_NE(again.left, builtIn.left);
}

// A program sets the panel's controls and leaves the player's own alone:
// the response sent stays, saved as it was, and so does the tuner's
// reference, which no preset sets.
TEST(Cabinet, AProgramChangeKeepsTheResponseAndTheTunerReference)
{
	const size_t kCabiAt = BaseStateSize();
	const Bytes payload = Payload(44100, Decaying(13230, 1), Decaying(13230, 2));
	auto instance = activeInstance();
	ASSERT_EQ(Send(*instance, payload), kResultOk);
	instance->block().inputChanges().add(kTunerReference, 1.0);
	Play(*instance);
	// High-Gain Lead, the fifth of ten.
	instance->block().inputChanges().add(42, 4.0 / 9.0);
	Play(*instance);
	const Bytes state = Saved(*instance);
	// Read back as a host's controller reads the component's state.
	host::PluginInstance reader(bundle());
	host::ByteStream stream(state);
	ASSERT_EQ(reader.controller()->setComponentState(&stream), kResultOk);
	EXPECT_EQ(reader.controller()->getParamNormalized(kDistortionLevel), double(0.9f)) << "the program loaded";
	EXPECT_EQ(reader.controller()->getParamNormalized(kTunerReference), 1.0);
	ASSERT_EQ(state.size(), kCabiAt + 12 + payload.size());
	EXPECT_EQ(std::string(state.begin() + static_cast<std::ptrdiff_t>(kCabiAt),
	                      state.begin() + static_cast<std::ptrdiff_t>(kCabiAt) + 4),
	          "cabi");
	EXPECT_TRUE(std::equal(payload.begin(), payload.end(), state.begin() + static_cast<std::ptrdiff_t>(kCabiAt) + 12));
}
