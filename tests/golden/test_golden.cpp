// What the chain computes, pinned: renders of outside-like material through
// the built bundle, at several rates, block sizes, settings and tempos,
// compared with committed renders. Any change of sound shows up here with
// its size; a change made on purpose re-records them:
//   BRONTAL_UPDATE_GOLDENS=1 golden_tests   (or: cmake --build . --target golden_renders)

#include "bundlefixture.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace bundletest {
namespace {

using Steinberg::Vst::ParamID;
using Changes = std::vector<std::pair<ParamID, double>>;

// Largest difference a render may show against its golden copy, as the
// energy of the difference over the energy of the golden render.
constexpr double kToleranceDb = -100.0;

// A small deterministic generator, the same on every platform and library.
class XorShift
{
public:
	explicit XorShift(uint32_t seed) : state(seed) {}
	// Uniform in -1..1.
	float next()
	{
		state ^= state << 13;
		state ^= state >> 17;
		state ^= state << 5;
		return static_cast<float>(static_cast<int32_t>(state)) * (1.0f / 2147483648.0f);
	}

private:
	uint32_t state;
};

enum class Material
{
	Riff,       // the demo DI riff on the left, a quieter noise bed on the right
	Noise,      // bursts of white noise with silence between
	Sweep,      // an exponential sine sweep across the band
	LoudDecay,  // a loud chord, then silence for the tails to ring out
};

Stereo riff(size_t n)
{
	SF_INFO info{};
	SNDFILE* file = sf_open(BRONTAL_SOURCE_DIR "/examples/demo-riff.wav", SFM_READ, &info);
	EXPECT_NE(file, nullptr) << "demo riff missing";
	Stereo s(n);
	if (!file)
		return s;
	std::vector<float> frames(static_cast<size_t>(info.frames) * static_cast<size_t>(info.channels));
	sf_readf_float(file, frames.data(), info.frames);
	sf_close(file);
	XorShift noise(7);
	for (size_t i = 0; i < n; ++i)
	{
		s.left[i] = i < static_cast<size_t>(info.frames) ? frames[i * static_cast<size_t>(info.channels)] : 0.0f;
		s.right[i] = 0.05f * noise.next();
	}
	return s;
}

Stereo material(Material kind, size_t n, double rate)
{
	if (kind == Material::Riff)
		return riff(n);
	Stereo s(n);
	XorShift noise(12345);
	const size_t burst = static_cast<size_t>(0.25 * rate);
	for (size_t i = 0; i < n; ++i)
	{
		const double t = static_cast<double>(i) / rate;
		double v = 0.0;
		switch (kind)
		{
		case Material::Noise:
			v = (i / burst) % 2 == 0 ? 0.5 * noise.next() : 0.0;
			break;
		case Material::Sweep:
		{
			// 30 Hz to 0.45 fs over the whole length, at -10 dBFS.
			const double T = static_cast<double>(n) / rate;
			const double k = std::log(0.45 * rate / 30.0);
			v = 0.316 * std::sin(2.0 * M_PI * 30.0 * T / k * (std::exp(k * t / T) - 1.0));
			break;
		}
		default: // LoudDecay: an E major chord, 0.6 s, then silence
			if (t < 0.6)
				v = 0.3 * (std::sin(2.0 * M_PI * 82.41 * t) + std::sin(2.0 * M_PI * 123.47 * t) +
				           std::sin(2.0 * M_PI * 164.81 * t));
			break;
		}
		s.left[i] = static_cast<float>(v);
		s.right[i] = static_cast<float>(0.5 * v);
	}
	return s;
}

const Changes kDefault = {};
const Changes kAllOff = {{kGateCompOnOff, 0}, {kDistortionOnOff, 0}, {kStereoEnhancerOnOff, 0},
                         {kDelayOnOff, 0},    {kModulationOnOff, 0}, {kReverbOnOff, 0}};
const Changes kClean = {{kDistortionOnOff, 0}};
const Changes kFullDrive = {{kDistortionLevel, 1}};
const Changes kAllMax = {{kGateCompOnOff, 1},   {kCompressorLevel, 1}, {kDistortionOnOff, 1},
                         {kDistortionLevel, 1}, {kStereoEnhancerOnOff, 1}, {kDelayOnOff, 1},
                         {kModulationOnOff, 1}, {kChorusSpeed, 1},     {kReverbOnOff, 1},
                         {kDelayLevel, 1},      {kReverbLevel, 1}};
const Changes kEnhancer = {{kStereoEnhancerOnOff, 1}};
const Changes kRightInput = {{kInputSelection, 0}, {kDistortionOnOff, 0}};

struct Case
{
	const char* name;
	Material kind;
	double seconds;
	double rate;
	int block;
	double tempo;
	const Changes* changes;
};

const Case kCases[] = {
	{"riff-default-48k-b256", Material::Riff, 2.0, 48000, 256, 120, &kDefault},
	{"riff-default-96k-b4096", Material::Riff, 2.0, 96000, 4096, 120, &kDefault},
	{"sweep-default-44k-b1", Material::Sweep, 2.0, 44100, 1, 120, &kDefault},
	{"noise-default-48k-b37", Material::Noise, 2.0, 48000, 37, 120, &kDefault},
	{"riff-alloff-44k-b256", Material::Riff, 2.0, 44100, 256, 120, &kAllOff},
	{"riff-clean-48k-b37", Material::Riff, 2.0, 48000, 37, 120, &kClean},
	{"sweep-fulldrive-96k-b256", Material::Sweep, 2.0, 96000, 256, 120, &kFullDrive},
	{"noise-allmax-44k-b4096", Material::Noise, 2.0, 44100, 4096, 120, &kAllMax},
	{"decay-default-48k-b256-t73", Material::LoudDecay, 3.0, 48000, 256, 73, &kDefault},
	{"decay-allmax-96k-b37-t187", Material::LoudDecay, 3.0, 96000, 37, 187, &kAllMax},
	{"riff-enhancer-48k-b4096", Material::Riff, 2.0, 48000, 4096, 120, &kEnhancer},
	{"riff-right-44k-b256", Material::Riff, 2.0, 44100, 256, 120, &kRightInput},
	{"sweep-clean-48k-b1", Material::Sweep, 2.0, 48000, 1, 120, &kClean},
};

void PrintTo(const Case& c, std::ostream* os)
{
	*os << c.name;
}

Stereo renderCase(const Case& c)
{
	auto instance = activeInstance(c.rate, std::max(c.block, 32));
	instance->block().setTempo(c.tempo);
	const size_t n = static_cast<size_t>(c.seconds * c.rate);
	return render(*instance, material(c.kind, n, c.rate), c.block, *c.changes);
}

std::string goldenPath(const Case& c)
{
	return std::string(BRONTAL_SOURCE_DIR "/tests/golden/renders/") + c.name + ".flac";
}

// Stored as 24-bit FLAC scaled to just under full scale, the scale kept in
// the file's comment, so quiet renders keep their precision.
void writeGolden(const Case& c, const Stereo& s)
{
	const float peakValue = std::max({peak(s.left), peak(s.right), 1e-30f});
	const double scale = 0.99 / static_cast<double>(peakValue);
	SF_INFO info{};
	info.samplerate = static_cast<int>(c.rate);
	info.channels = 2;
	info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_24;
	SNDFILE* file = sf_open(goldenPath(c).c_str(), SFM_WRITE, &info);
	ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
	char comment[64];
	std::snprintf(comment, sizeof comment, "scale=%a", scale);
	sf_set_string(file, SF_STR_COMMENT, comment);
	std::vector<double> frames(2 * s.size());
	for (size_t i = 0; i < s.size(); ++i)
	{
		frames[2 * i] = s.left[i] * scale;
		frames[2 * i + 1] = s.right[i] * scale;
	}
	sf_writef_double(file, frames.data(), static_cast<sf_count_t>(s.size()));
	sf_close(file);
}

bool readGolden(const Case& c, Stereo& s)
{
	SF_INFO info{};
	SNDFILE* file = sf_open(goldenPath(c).c_str(), SFM_READ, &info);
	if (!file)
		return false;
	const char* comment = sf_get_string(file, SF_STR_COMMENT);
	double scale = 0.0;
	if (!comment || std::sscanf(comment, "scale=%la", &scale) != 1 || !(scale > 0.0) || info.channels != 2)
	{
		sf_close(file);
		return false;
	}
	std::vector<double> frames(2 * static_cast<size_t>(info.frames));
	sf_readf_double(file, frames.data(), info.frames);
	sf_close(file);
	s = Stereo(static_cast<size_t>(info.frames));
	for (size_t i = 0; i < s.size(); ++i)
	{
		s.left[i] = static_cast<float>(frames[2 * i] / scale);
		s.right[i] = static_cast<float>(frames[2 * i + 1] / scale);
	}
	return true;
}

// Energy of the difference over the energy of the golden render, in dB.
double differenceDb(const Stereo& out, const Stereo& golden)
{
	double diff = 0.0, energy = 0.0;
	for (const auto& [a, b] : {std::pair{&out.left, &golden.left}, std::pair{&out.right, &golden.right}})
		for (size_t i = 0; i < b->size(); ++i)
		{
			const double d = static_cast<double>((*a)[i]) - (*b)[i];
			diff += d * d;
			energy += static_cast<double>((*b)[i]) * (*b)[i];
		}
	return 10.0 * std::log10(std::max(diff, 1e-300) / std::max(energy, 1e-300));
}

class GoldenRender : public ::testing::TestWithParam<Case>
{
};

TEST_P(GoldenRender, MatchesTheCommittedRender)
{
	const Case& c = GetParam();
	const Stereo out = renderCase(c);
	for (const auto* channel : {&out.left, &out.right})
		for (float v : *channel)
			ASSERT_TRUE(std::isfinite(v) && std::fabs(v) <= 1.0f);
	ASSERT_GT(peak(out.left), 1e-3f) << "a golden render must not be silent";

	if (std::getenv("BRONTAL_UPDATE_GOLDENS"))
	{
		writeGolden(c, out);
		GTEST_SKIP() << "re-recorded " << goldenPath(c);
	}
	Stereo golden;
	ASSERT_TRUE(readGolden(c, golden)) << "cannot read " << goldenPath(c);
	ASSERT_EQ(golden.size(), out.size());
	const double db = differenceDb(out, golden);
	RecordProperty("difference_db", std::to_string(db));
	EXPECT_LE(db, kToleranceDb) << c.name << " differs from its golden render by " << db << " dB";
}

INSTANTIATE_TEST_SUITE_P(Renders, GoldenRender, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& param) {
	                         std::string name = param.param.name;
	                         for (char& ch : name)
		                         if (!std::isalnum(static_cast<unsigned char>(ch)))
			                         ch = '_';
	                         return name;
                         });

} // namespace
} // namespace bundletest
