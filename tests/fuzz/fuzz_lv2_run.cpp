// The LV2 build's run through lilv, driven like a host would and then some:
// the stereo or the mono plug-in, control ports set to any float between
// blocks, blocks of 0 to 8192 samples of poisonous samples, time:Position
// objects whose tempo is of any atom type and value, other events of any
// type and body, MIDI messages of any bytes (with the player's mappings
// naming a footswitch, a hold switch and a level), patch:Sets of the
// cabinet's file (a response, none, a missing file, a file that is no
// response) and patch:Gets, restarts, state restores of any bytes and state
// round trips.
//
// Invariants: while nothing may have bypassed the chain (lv2:enabled never
// moved off 1, no state of any bytes restored) every output sample is finite
// and within +-1; the meters and LEDs stay finite within
// 0..1 and the latency 0; a restore of any bytes answers without harm; a
// state saved and restored saves again the same bytes.
//
// Input layout (see tools/gen_fuzz_seeds.py): the plug-in (a byte), then
// operations until the input ends.

#include "fuzzreader.h"
#include "lv2host/lv2host.h"

#include <lv2/atom/atom.h>
#include <lv2/midi/midi.h>
#include <unistd.h>
#include <lv2/time/time.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <string>
#include <vector>

using brontal::fuzz::FuzzReader;
using brontal::lv2host::Lv2Options;
using brontal::lv2host::Lv2Plugin;

namespace {

const char* const kUris[] = {"https://brontal.example/lv2/brontal", "https://brontal.example/lv2/brontal-mono"};
const char* const kStateKey = "https://brontal.example/lv2/brontal#state";
constexpr int kMaxBlock = 8192;
// Samples one input may run in all, so that the fuzzer stays fast.
constexpr long kSampleBudget = 1 << 14;

const char* const kInputs[] = {"input_selection", "gate_compressor_on_off", "compressor_level", "distortion_on_off",
                               "distortion_level", "stereo_enhancer_on_off", "delay_on_off", "modulation_on_off",
                               "chorus_speed", "reverb_on_off", "delay_level", "reverb_level", "button1", "enabled"};
const char* const kOutputs[] = {"output_left_vumeter", "output_right_vumeter", "input_clipping_led",
                                "ouput_clipping_led", "compression_led"};
const float kSpecialValues[] = {std::numeric_limits<float>::quiet_NaN(),
                                std::numeric_limits<float>::infinity(),
                                -std::numeric_limits<float>::infinity(),
                                1e30f,
                                -1e30f,
                                std::numeric_limits<float>::denorm_min(),
                                -0.0f,
                                0.0f,
                                0.5f,
                                1.0f,
                                2.0f};

template <typename T, size_t N> const T& pick(const T (&table)[N], unsigned uIndex)
{
	return table[uIndex % N];
}

const char* const kCabinetUri = "https://brontal.example/lv2/brontal#cabinet";
// The player's folder: the mappings and the files a patch:Set may name.
std::string g_folder;
std::string g_paths[4];

std::unique_ptr<Lv2Plugin> g_plugins[2];
// A fresh instance's state and port values: where every input starts.
std::vector<unsigned char> g_defaults[2];
float g_afDefaultPorts[2][std::size(kInputs)];
std::vector<float> g_in[2], g_out[2];

float value(FuzzReader& in)
{
	const uint8_t uKind = in.u8();
	return uKind < 128 ? pick(kSpecialValues, uKind) : in.f32();
}

[[noreturn]] void fail(const std::string& what)
{
	std::fprintf(stderr, "invariant broken: %s\n", what.c_str());
	std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
	if (!std::getenv("LV2_PATH"))
		setenv("LV2_PATH", BRONTAL_LV2_DIR ":/usr/lib/lv2", 1);
	// Not the bypass: the invariants need the chain to run.
	g_folder = "/tmp/brontal-fuzz-lv2-" + std::to_string(getpid());
	std::filesystem::create_directories(g_folder + "/brontal");
	std::ofstream(g_folder + "/brontal/midi-mappings.txt") << "4 80 any toggle\n10 64 1 hold\n5 7 any follow\n";
	{
		// 16-bit mono PCM at 48 kHz, 100 samples, one impulse.
		std::ofstream wav(g_folder + "/impulse.wav", std::ios::binary);
		const auto word = [&wav](uint32_t v, int bytes) { wav.write(reinterpret_cast<const char*>(&v), bytes); };
		wav << "RIFF";
		word(36 + 200, 4);
		wav << "WAVEfmt ";
		word(16, 4), word(1, 2), word(1, 2), word(48000, 4), word(96000, 4), word(2, 2), word(16, 2);
		wav << "data";
		word(200, 4);
		for (int i = 0; i < 100; ++i)
			word(i == 3 ? 20000 : 0, 2);
	}
	g_paths[0] = "";
	g_paths[1] = g_folder + "/impulse.wav";
	g_paths[2] = g_folder + "/missing.wav";
	g_paths[3] = g_folder + "/brontal/midi-mappings.txt";
	setenv("XDG_CONFIG_HOME", g_folder.c_str(), 1);
	for (int i = 0; i < 2; ++i)
	{
		g_plugins[i] = std::make_unique<Lv2Plugin>(kUris[i], Lv2Options{48000.0, kMaxBlock, true});
		g_defaults[i] = g_plugins[i]->saveProperty(kStateKey);
		for (size_t j = 0; j < std::size(kInputs); ++j)
			g_afDefaultPorts[i][j] = g_plugins[i]->control(kInputs[j]);
		g_in[i].assign(kMaxBlock, 0.0f);
		g_out[i].assign(kMaxBlock, 0.0f);
	}
	return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
	FuzzReader in(pData, nSize);
	const int iPlugin = in.u8() & 1;
	Lv2Plugin& plugin = *g_plugins[iPlugin];
	// Every input starts from the defaults at 120 BPM: the ports as a fresh
	// instance has them, taken as they are by a restore of its state.
	plugin.restart();
	for (size_t j = 0; j < std::size(kInputs); ++j)
		plugin.setControl(kInputs[j], g_afDefaultPorts[iPlugin][j]);
	if (!plugin.restoreProperty(kStateKey, g_defaults[iPlugin]))
		fail("the defaults' state was refused");
	plugin.setTempo(120.0);
	bool bChainThroughout = true;
	long lBudget = kSampleBudget;
	const uint32_t uObject = plugin.map(LV2_ATOM__Object);
	const uint32_t uPosition = plugin.map(LV2_TIME__Position);
	const uint32_t uBpm = plugin.map(LV2_TIME__beatsPerMinute);
	const uint32_t aTypes[] = {plugin.map(LV2_ATOM__Float), plugin.map(LV2_ATOM__Double), plugin.map(LV2_ATOM__Int),
	                           plugin.map(LV2_ATOM__Long), plugin.map(LV2_ATOM__String), uObject};

	while (!in.empty() && lBudget > 0)
	{
		switch (in.u8() % 8)
		{
			case 0:
			{
				const char* szPort = pick(kInputs, in.u8());
				const float fValue = value(in);
				plugin.setControl(szPort, fValue);
				if (std::strcmp(szPort, "enabled") == 0 && fValue != 1.0f)
					bChainThroughout = false;
				break;
			}
			case 1:
			{
				const int n = static_cast<int>(in.u16() % (kMaxBlock + 1));
				const uint8_t uSignal = in.u8();
				for (std::vector<float>& channel : g_in)
					for (int i = 0; i < n; ++i)
						channel[static_cast<size_t>(i)] =
						    uSignal < 16 ? pick(kSpecialValues, uSignal + static_cast<unsigned>(i))
						                 : 0.5f * std::sin(0.01f * static_cast<float>(i) * uSignal);
				const float* ins[2] = {g_in[0].data(), g_in[1].data()};
				float* outs[2] = {g_out[0].data(), g_out[1].data()};
				plugin.run(ins, outs, n);
				lBudget -= n > 0 ? n : 1;
				for (int c = 0; c < plugin.audioOutputs() && bChainThroughout; ++c)
					for (int i = 0; i < n; ++i)
					{
						const float f = g_out[c][static_cast<size_t>(i)];
						if (!std::isfinite(f) || std::fabs(f) > 1.0f)
							fail("output " + std::to_string(c) + " sample " + std::to_string(i) + " is " +
							     std::to_string(f));
					}
				for (const char* szOut : kOutputs)
				{
					const float f = plugin.control(szOut);
					if (!(f >= 0.0f && f <= 1.0f))
						fail(std::string(szOut) + " reads " + std::to_string(f));
				}
				if (plugin.control("latency") != 0.0f)
					fail("latency is not 0");
				break;
			}
			case 2:
			{
				// A time:Position whose tempo is any atom of any value.
				const uint32_t uType = pick(aTypes, in.u8());
				const uint64_t uBits = in.u32() | static_cast<uint64_t>(in.u32()) << 32;
				struct
				{
					LV2_Atom_Object_Body body;
					LV2_Atom_Property_Body property;
					uint64_t value;
				} object{{0, uPosition}, {uBpm, 0, {0, uType}}, uBits};
				object.property.value.size = in.u8() % 9;
				plugin.sendEvent(uObject, &object, sizeof object);
				break;
			}
			case 3:
			{
				// Any type, any body.
				uint8_t aBody[64];
				const uint32_t uType = in.u8() < 128 ? pick(aTypes, in.u8()) : in.u32();
				const size_t n = in.bytes(aBody, in.u8() % sizeof aBody);
				plugin.sendEvent(uType, aBody, static_cast<uint32_t>(n));
				break;
			}
			case 4:
			{
				std::vector<unsigned char> bytes(in.u8() < 128 ? 80 + in.u8() : in.u8());
				in.bytes(bytes.data(), bytes.size());
				if (plugin.restoreProperty(kStateKey, bytes))
					bChainThroughout = false;
				break;
			}
			case 6:
			{
				// Any MIDI message of one to three bytes, the mapped
				// controllers more often than chance.
				uint8_t aMessage[3] = {in.u8(), in.u8(), in.u8()};
				static const uint8_t kMapped[] = {80, 64, 7};
				if (aMessage[0] < 64)
					aMessage[1] = pick(kMapped, aMessage[1]);
				plugin.sendEvent(plugin.map(LV2_MIDI__MidiEvent), aMessage, 1 + in.u8() % 3);
				break;
			}
			case 7:
			{
				const uint8_t uWhich = in.u8();
				if (uWhich < 128)
					plugin.sendPatchSetPath(kCabinetUri, pick(g_paths, uWhich));
				else
					plugin.sendPatchGet(kCabinetUri);
				break;
			}
			case 5:
			{
				const std::vector<unsigned char> saved = plugin.saveProperty(kStateKey);
				if (!plugin.restoreProperty(kStateKey, saved))
					fail("a saved state was refused");
				if (plugin.saveProperty(kStateKey) != saved)
					fail("a restored state saves otherwise");
				break;
			}
		}
	}
	return 0;
}
