// A soak through the bundle: minutes of guitar-like audio through the whole
// chain, rendered offline in blocks of random length with random automation
// in every block (fixed seed): tempo moves, stages switched in and out,
// levels swept, bypass, silence with its flags, a reactivation and a state
// round trip now and then. Every output sample must be finite and within
// +-1 (bypass passes the input, which stays within +-1), and two runs from
// fresh instances must give the same bytes.
//
// Two minutes by default; BRONTAL_SOAK_MINUTES=60 for the hour.

#include "bundlefixture.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace bundletest;
using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

constexpr double kRate = 48000.0;
constexpr int32 kMaxBlock = 2048;

// The generator of everything random here, the same on every platform.
class Random
{
public:
	explicit Random(std::uint64_t uSeed) : m_uState(uSeed) {}
	std::uint32_t next()
	{
		m_uState = m_uState * 6364136223846793005ull + 1442695040888963407ull;
		return static_cast<std::uint32_t>(m_uState >> 33);
	}
	double uniform() { return next() / 2147483648.0; } // 0..1
	int below(int n) { return static_cast<int>(next() % static_cast<std::uint32_t>(n)); }

private:
	std::uint64_t m_uState;
};

// Plucked notes with a few decaying harmonics and now and then a rest of
// a few seconds of exact silence.
class Guitar
{
public:
	explicit Guitar(Random& random) : m_random(random) {}

	// Fills n samples; true when they are all exactly zero.
	bool fill(float* pfLeft, float* pfRight, int32 n)
	{
		bool bSilent = true;
		for (int32 i = 0; i < n; ++i)
		{
			if (m_iUntilNext-- <= 0)
				nextEvent();
			float f = 0.0f;
			if (!m_bResting)
			{
				m_dAmplitude *= m_dDecay;
				for (int h = 1; h <= 4; ++h)
					f += static_cast<float>(m_dAmplitude / h * std::sin(m_dPhase * h));
				m_dPhase += m_dStep;
			}
			pfLeft[i] = f;
			pfRight[i] = 0.3f * f;
			bSilent = bSilent && f == 0.0f;
		}
		return bSilent;
	}

private:
	void nextEvent()
	{
		m_bResting = m_random.below(40) == 0;
		m_iUntilNext = static_cast<int>(kRate * (m_bResting ? 0.5 + 2.5 * m_random.uniform() : 0.1 + 0.8 * m_random.uniform()));
		m_dStep = 2.0 * M_PI * 82.41 * std::pow(2.0, m_random.below(36) / 12.0) / kRate;
		m_dAmplitude = 0.38 * (0.2 + m_random.uniform());
		m_dDecay = std::exp(-(1.0 + 6.0 * m_random.uniform()) / kRate);
		m_dPhase = 0.0;
	}

	Random& m_random;
	int m_iUntilNext = 0;
	bool m_bResting = true;
	double m_dStep = 0.0, m_dAmplitude = 0.0, m_dDecay = 1.0, m_dPhase = 0.0;
};

struct SoakResult
{
	std::uint64_t uHash = 1469598103934665603ull; // FNV-1a of every output byte
	double dPeak = 0.0;
	long lBlocks = 0, lBypassed = 0, lSilent = 0, lBadSamples = 0, lBadResults = 0;
};

void hash(SoakResult& result, const void* pData, size_t nBytes)
{
	const auto* p = static_cast<const unsigned char*>(pData);
	for (size_t i = 0; i < nBytes; ++i)
		result.uHash = (result.uHash ^ p[i]) * 1099511628211ull;
}

SoakResult soak(double dMinutes)
{
	host::PluginInstance instance(bundle());
	host::ProcessSetup setup;
	setup.sampleRate = kRate;
	setup.maxBlockSize = kMaxBlock;
	setup.processMode = kOffline;
	instance.activate(setup);

	Random random(20240917);
	Guitar guitar(random);
	std::vector<float> inL(kMaxBlock), inR(kMaxBlock), outL(kMaxBlock), outR(kMaxBlock);
	float* ins[2] = {inL.data(), inR.data()};
	float* outs[2] = {outL.data(), outR.data()};
	const auto total = static_cast<long long>(dMinutes * 60.0 * kRate);
	double dTempo = 120.0;
	bool bBypass = false;
	SoakResult result;
	long long lastReactivation = 0, lastStateTrip = 0;

	for (long long done = 0; done < total;)
	{
		const auto n = static_cast<int32>(std::min<long long>(1 + random.below(kMaxBlock), total - done));
		host::ProcessBlock& block = instance.block();
		// The automation of this block.
		for (int k = random.below(4); k > 0; --k)
		{
			const auto id = static_cast<ParamID>(1 + random.below(12));
			const bool bSwitch = id == kInputSelection || id == kGateCompOnOff || id == kDistortionOnOff ||
			                     id == kStereoEnhancerOnOff || id == kDelayOnOff || id == kModulationOnOff ||
			                     id == kReverbOnOff;
			block.inputChanges().add(id, bSwitch ? (random.below(4) != 0 ? 1.0 : 0.0) : random.uniform(),
			                         random.below(n));
		}
		// Bypassed now and then, for a few dozen blocks.
		if (random.below(bBypass ? 40 : 800) == 0)
		{
			bBypass = !bBypass;
			block.inputChanges().add(kBypass, bBypass ? 1.0 : 0.0);
		}
		dTempo = std::clamp(dTempo + 4.0 * (random.uniform() - 0.5), 40.0, 240.0);
		block.setTempo(random.below(50) == 0 ? std::nullopt : std::optional<double>(dTempo));

		const bool bSilent = guitar.fill(inL.data(), inR.data(), n);
		if (instance.process({ins, 2, outs, 2, n, bSilent ? 3u : 0u}) != kResultOk)
			++result.lBadResults;
		for (int32 i = 0; i < n; ++i)
			for (const float f : {outL[size_t(i)], outR[size_t(i)]})
			{
				if (!(std::fabs(f) <= 1.0f))
					++result.lBadSamples;
				result.dPeak = std::max(result.dPeak, static_cast<double>(std::fabs(f)));
			}
		hash(result, outL.data(), sizeof(float) * size_t(n));
		hash(result, outR.data(), sizeof(float) * size_t(n));
		const uint64 uFlags = block.outputSilenceFlags();
		hash(result, &uFlags, sizeof uFlags);
		++result.lBlocks;
		result.lBypassed += bBypass;
		result.lSilent += bSilent;
		done += n;

		// Now and then what a host does between blocks.
		if (done - lastReactivation > static_cast<long long>(37 * kRate))
		{
			instance.activate(setup);
			lastReactivation = done;
		}
		if (done - lastStateTrip > static_cast<long long>(23 * kRate))
		{
			host::ByteStream state = instance.saveComponentState();
			instance.loadComponentState(state);
			lastStateTrip = done;
		}
	}
	return result;
}

double soakMinutes()
{
	const char* szMinutes = std::getenv("BRONTAL_SOAK_MINUTES");
	return szMinutes ? std::atof(szMinutes) : 2.0;
}

} // namespace

TEST(Soak, FullChainWithRandomAutomationStaysBoundedAndRepeatsExactly)
{
	const double dMinutes = soakMinutes();
	ASSERT_GT(dMinutes, 0.0);
	const SoakResult first = soak(dMinutes);
	const SoakResult second = soak(dMinutes);
	std::printf("soak: %.1f min of audio, %ld blocks (%ld bypassed, %ld silent), peak %.4f, hash %016llx\n",
	            dMinutes, first.lBlocks, first.lBypassed, first.lSilent, first.dPeak,
	            static_cast<unsigned long long>(first.uHash));
	EXPECT_EQ(first.lBadResults, 0);
	EXPECT_EQ(first.lBadSamples, 0);
	EXPECT_GT(first.dPeak, 0.1);
	EXPECT_GT(first.lBypassed, 0);
	EXPECT_GT(first.lSilent, 0);
	EXPECT_EQ(first.uHash, second.uHash) << "two runs from fresh instances differ";
}
