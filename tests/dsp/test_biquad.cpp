#include "Biquad.h"
#include "dspfixture.h"
#include "assertcapture.h"
#include "tone.h"

#include <gtest/gtest.h>

#include <complex>
#include <random>
#include <vector>

namespace {
std::vector<float> Filter(Biquad& filter, const std::vector<float>& in)
{
	std::vector<float> out(in.size());
	for (size_t i = 0; i < in.size(); ++i)
		out[i] = filter.ProcessSample(in[i]);
	return out;
}

std::vector<float> Impulse(size_t n, size_t at = 0)
{
	std::vector<float> v(n, 0.0f);
	v[at] = 1.0f;
	return v;
}

// |H| of the section's coefficients at a normalised frequency.
double Magnitude(const Biquad& filter, double dFreq)
{
	double b0, b1, b2, a1, a2;
	filter.GetCoefficients(b0, b1, b2, a1, a2);
	const std::complex<double> z = std::polar(1.0, -2.0 * kTestPi * dFreq);
	return std::abs((b0 + b1 * z + b2 * z * z) / (1.0 + a1 * z + a2 * z * z));
}

double MeasuredGainDb(Biquad& filter, double dFreq, double dRate)
{
	const size_t n = static_cast<size_t>(dRate);
	const std::vector<float> out = Filter(filter, MakeTone(2 * n, dFreq, dRate, 0.25));
	return ToDb(ToneAmplitude(out, n, n, dFreq, dRate) / 0.25);
}
} // namespace

TEST(Biquad, UnsetAndFlatSectionsPassTheInput)
{
	const std::vector<float> in = Noise(4096, 1);
	Biquad unset;
	EXPECT_EQ(Filter(unset, in), in);

	for (double dFreq : {0.001, 0.02, 0.3, 0.49})
		for (double dQ : {0.3, 0.9, 5.0})
		{
			Biquad flat;
			flat.SetParameters(Biquad::kPeak, dFreq, dQ, 0.0);
			const std::vector<float> out = Filter(flat, in);
			for (size_t i = 0; i < in.size(); ++i)
				ASSERT_NEAR(out[i], in[i], 1e-6) << dFreq << " " << dQ << " at " << i;
		}

	// A coefficient change keeps a section ringing; Reset silences it.
	Biquad a;
	a.SetParameters(Biquad::kPeak, 0.01, 0.9, 12.0);
	Filter(a, Impulse(10));
	a.SetParameters(Biquad::kPeak, 0.02, 0.9, -12.0);
	const std::vector<float> silence(100, 0.0f);
	EXPECT_NE(Filter(a, silence)[0], 0.0f);
	EXPECT_EQ(a.Reset(), 1);
	EXPECT_EQ(Filter(a, silence), silence);
}

TEST(Biquad, PeakReachesItsGainAtTheCentreOnly)
{
	for (double dGain : {12.0, -12.0})
	{
		Biquad peak;
		peak.SetParameters(Biquad::kPeak, 1000.0 / 48000.0, 0.9, dGain);
		EXPECT_NEAR(MeasuredGainDb(peak, 1000.0, 48000.0), dGain, 0.01);
		// Far from the centre the bell has gone: 0.032 dB at 20 Hz, 0.024 dB at 20 kHz.
		EXPECT_NEAR(MeasuredGainDb(peak, 20.0, 48000.0), 0.0, 0.05);
		EXPECT_NEAR(MeasuredGainDb(peak, 20000.0, 48000.0), 0.0, 0.05);
	}
}

TEST(Biquad, EachSectionTypeMeetsItsDesignPoints)
{
	const double f = 0.1, kTol = 1e-9;
	const double dHalfPower = std::sqrt(0.5);
	Biquad s;

	s.SetParameters(Biquad::kLowPass, f, dHalfPower, 24.0);
	EXPECT_NEAR(Magnitude(s, 0.0), 1.0, kTol);
	EXPECT_NEAR(Magnitude(s, f), dHalfPower, kTol);
	EXPECT_NEAR(Magnitude(s, 0.5), 0.0, kTol);

	s.SetParameters(Biquad::kHighPass, f, dHalfPower, 0.0);
	EXPECT_NEAR(Magnitude(s, 0.0), 0.0, kTol);
	EXPECT_NEAR(Magnitude(s, f), dHalfPower, kTol);
	EXPECT_NEAR(Magnitude(s, 0.5), 1.0, kTol);

	s.SetParameters(Biquad::kBandPass, f, 2.0, 0.0);
	EXPECT_NEAR(Magnitude(s, f), 1.0, kTol);
	EXPECT_NEAR(Magnitude(s, 0.0), 0.0, kTol);
	EXPECT_NEAR(Magnitude(s, 0.5), 0.0, kTol);

	s.SetParameters(Biquad::kNotch, f, 2.0, 0.0);
	EXPECT_NEAR(Magnitude(s, f), 0.0, kTol);
	EXPECT_NEAR(Magnitude(s, 0.0), 1.0, kTol);
	EXPECT_NEAR(Magnitude(s, 0.5), 1.0, kTol);

	for (double dGain : {6.0, -6.0})
	{
		const double V = std::pow(10.0, dGain / 20.0);
		s.SetParameters(Biquad::kLowShelf, f, 0.9, dGain);
		EXPECT_NEAR(Magnitude(s, 0.0), V, kTol);
		EXPECT_NEAR(Magnitude(s, 0.5), 1.0, kTol);
		s.SetParameters(Biquad::kHighShelf, f, 0.9, dGain);
		EXPECT_NEAR(Magnitude(s, 0.0), 1.0, kTol);
		EXPECT_NEAR(Magnitude(s, 0.5), V, kTol);
	}
	// The shelves have a fixed slope: Q does not enter.
	Biquad q1, q2;
	q1.SetParameters(Biquad::kLowShelf, f, 0.5, 6.0);
	q2.SetParameters(Biquad::kLowShelf, f, 4.0, 6.0);
	EXPECT_DOUBLE_EQ(Magnitude(q1, f), Magnitude(q2, f));
	// Boosted corner: |H|^2 = (1 + V^2) / 2.
	EXPECT_NEAR(Magnitude(q1, f), std::sqrt((1.0 + 4.0 * std::pow(10.0, 0.6) / 4.0) / 2.0), kTol);
}

TEST(Biquad, SectionsStayStableAboveNyquist)
{
	// The top equaliser band at 11025 Hz asks for 0.58 of the rate.
	for (double dFreq : {6400.0 / 11025.0, 0.5, 0.75})
		for (double dGain : {30.0, -30.0})
		{
			Biquad s;
			s.SetParameters(Biquad::kPeak, dFreq, 0.9, dGain);
			double b0, b1, b2, a1, a2;
			s.GetCoefficients(b0, b1, b2, a1, a2);
			EXPECT_LT(std::fabs(a2), 1.0);
			EXPECT_LT(std::fabs(a1), 1.0 + a2);

			// A deep cut this close to Nyquist keeps a pole near 0.9998: slow, but dying.
			const std::vector<float> out = Filter(s, Impulse(200000));
			double dTailEnergy = 0.0;
			for (size_t i = 100000; i < out.size(); ++i)
			{
				ASSERT_TRUE(std::isfinite(out[i]));
				dTailEnergy += static_cast<double>(out[i]) * out[i];
			}
			EXPECT_LT(dTailEnergy, 1e-12) << dFreq << " " << dGain;
		}
}

TEST(Biquad, DelayLineFeedbackFollowsDelayAndDecay)
{
	const double g = std::pow(0.001, 0.03); // 0.8128
	Biquad comb(Biquad::kComb, 1.0, 0.03), allpass(Biquad::kAllPass, 1.0, 0.03), delay(Biquad::kDelayLine, 1.0, 0.03);
	EXPECT_NEAR(comb.GetFeedback(), 0.8128305, 1e-7);
	EXPECT_NEAR(allpass.GetFeedback(), 0.8128305, 1e-7);
	EXPECT_EQ(delay.GetFeedback(), 0.0);

	double dRate = 48000.0;
	for (Biquad* p : {&comb, &allpass})
	{
		p->SetSampleRate(&dRate);
		p->Reset();
	}
	// 0.03 s is 1440 samples: the loop returns every 1440 samples, scaled by g.
	const std::vector<float> c = Filter(comb, Impulse(3000));
	const std::vector<float> a = Filter(allpass, Impulse(3000));
	const float gf = static_cast<float>(g);
	for (size_t i = 0; i < c.size(); ++i)
	{
		const float fComb = i == 0 ? 1.0f : i == 1440 ? gf : i == 2880 ? gf * gf : 0.0f;
		const float fAllPass = i == 0 ? -gf : i == 1440 ? 1.0f - gf * gf : i == 2880 ? (1.0f - gf * gf) * gf : 0.0f;
		ASSERT_NEAR(c[i], fComb, 1e-6) << i;
		ASSERT_NEAR(a[i], fAllPass, 1e-6) << i;
	}

	comb.SetDelayTime(0.06);
	EXPECT_NEAR(comb.GetFeedback(), std::pow(0.001, 0.06), 1e-12);

	// A zero decay leaves no loop: the comb passes its input, the all-pass delays it.
	comb.SetDecayTime(0.0);
	comb.SetDelayTime(0.03);
	allpass.SetDecayTime(0.0);
	EXPECT_EQ(comb.GetFeedback(), 0.0);
	EXPECT_EQ(allpass.GetFeedback(), 0.0);
	comb.Reset();
	allpass.Reset();
	const std::vector<float> in = Noise(3000, 2);
	EXPECT_EQ(Filter(comb, in), in);
	const std::vector<float> out = Filter(allpass, in);
	for (size_t i = 0; i < in.size(); ++i)
		ASSERT_EQ(out[i], i < 1440 ? 0.0f : in[i - 1440]) << i;

	// Zero over zero must not leave NaN in the loop.
	Biquad zero(Biquad::kComb, 0.0, 0.0);
	EXPECT_EQ(zero.GetFeedback(), 0.0);
}

TEST(Biquad, PlainDelayOfHalfASecond)
{
	double dRate = 48000.0;
	Biquad delay(Biquad::kDelayLine, 0.0, 0.5);
	delay.SetSampleRate(&dRate);
	delay.Reset();
	std::vector<float> in = Noise(30000, 3);
	in[100] = std::nanf("");
	const std::vector<float> out = Filter(delay, in);
	for (size_t i = 0; i < 24000; ++i)
		ASSERT_EQ(out[i], 0.0f) << i;
	// The NaN went in as 0.
	for (size_t i = 24000; i < out.size(); ++i)
		ASSERT_EQ(out[i], i == 24100 ? 0.0f : in[i - 24000]) << i;
}

TEST(Biquad, RingLengthIsThreeSecondsUpTo192k)
{
	Biquad line(Biquad::kDelayLine, 0.0, 0.1);
	for (const auto& [dRate, iLength] : {std::pair{44100.0, 132300}, {192000.0, 576000}, {384000.0, 576000}})
	{
		double dCurrent = dRate;
		EXPECT_EQ(line.SetSampleRate(&dCurrent), 1);
		EXPECT_EQ(line.GetMaxLength(), iLength);
		line.Reset();
		EXPECT_EQ(line.GetActiveLength(), iLength);
	}
	// Only SetSampleRate measures the ring, not a later change behind the pointer.
	double dRate = 44100.0;
	line.SetSampleRate(&dRate);
	dRate = 8000.0;
	line.Reset();
	EXPECT_EQ(line.GetActiveLength(), 132300);
	EXPECT_EQ(line.SetSampleRate(nullptr), 0);
	EXPECT_EQ(line.GetMaxLength(), 132300);
}

TEST(Biquad, ResetClearsEverythingWrittenAtAnyEarlierLength)
{
	// A delay as long as the ring reads each entry just before it is
	// rewritten, so one ring of silence reads every entry in use. Rings of
	// 3000 and 6000 entries, filled part-way and past a wrap, reset in turns.
	Biquad line(Biquad::kDelayLine, 0.0, 3.0);
	const struct
	{
		double dFillRate;
		size_t nFill;
		double dReadRate;
	} aSteps[] = {{1000.0, 2000, 2000.0}, {2000.0, 7000, 1000.0}, {1000.0, 2000, 2000.0}, {2000.0, 6000, 2000.0},
	              {2000.0, 5999, 2000.0}};
	for (const auto& step : aSteps)
	{
		SCOPED_TRACE(step.nFill);
		double dRate = step.dFillRate;
		line.SetSampleRate(&dRate);
		line.Reset();
		Filter(line, Noise(step.nFill, 9));
		dRate = step.dReadRate;
		line.SetSampleRate(&dRate);
		line.Reset();
		const std::vector<float> out = Filter(line, std::vector<float>(static_cast<size_t>(3 * dRate) + 2, 0.0f));
		for (size_t i = 0; i < out.size(); ++i)
			ASSERT_EQ(out[i], 0.0f) << i;
	}
}

TEST(Biquad, FractionalReadInterpolatesBetweenTheSurroundingEntries)
{
	// 1024 Hz keeps the ring short (3072) and makes 10.25 samples exact.
	double dRate = 1024.0;
	Biquad line(Biquad::kDelayLine, 0.0, 10.25 / 1024.0);
	line.SetSampleRate(&dRate);
	line.Reset();
	ASSERT_EQ(line.GetActiveLength(), 3072);

	// The impulse lands a quarter of a sample late: 0.75 then 0.25, both
	// before the ring wraps (read position below zero) and across the wrap.
	std::vector<float> in(3200, 0.0f);
	in[0] = 1.0f;
	in[3070] = 1.0f;
	const std::vector<float> out = Filter(line, in);
	for (size_t i = 0; i < out.size(); ++i)
	{
		const float fExpected = (i == 10 || i == 3080) ? 0.75f : (i == 11 || i == 3081) ? 0.25f : 0.0f;
		ASSERT_EQ(out[i], fExpected) << i;
	}
}

TEST(Biquad, IsNotAChainBlock)
{
	AssertCapture capture;
	Biquad s;
	float f = 0.0f;
	EXPECT_EQ(s.Process(&f, &f, &f, &f, 1), 0);
	EXPECT_EQ(AssertCapture::s_text, "0");
	EXPECT_EQ(AssertCapture::s_source, "Biquad");
}

// A delay-line element told its longest delay keeps only that much ring,
// and a stretch of samples goes through at once: neither may change a
// sample, also where reads cross the three-second ring's wrap, whose
// position decides how each read's fraction rounds.
TEST(Biquad, ShortRingAndStretchesGiveTheSameSamples)
{
	for (int iType : {Biquad::kComb, Biquad::kAllPass, Biquad::kDelayLine})
		for (double dDelay : {0.0101, 0.0017, 0.05})
		{
			SCOPED_TRACE(iType);
			SCOPED_TRACE(dDelay);
			// 1021 Hz: a 3063-entry ring, wrapped several times below, and
			// delays that are not whole samples.
			double dRate = 1021.0;
			Biquad whole(iType, 0.5, dDelay), shortRing(iType, 0.5, dDelay);
			shortRing.SetMaxDelayTime(dDelay);
			for (Biquad* p : {&whole, &shortRing})
			{
				p->SetSampleRate(&dRate);
				p->Reset();
			}
			EXPECT_EQ(whole.GetRingSize(), 3063);
			EXPECT_EQ(shortRing.GetRingSize(), static_cast<int>(std::ceil(1021.0f * static_cast<float>(dDelay))) + 1);

			// The element sample by sample as it is defined: the read position
			// w - D in single precision on the whole ring, its floor and fraction.
			const int N = whole.GetActiveLength();
			const float D = static_cast<float>(dRate) * static_cast<float>(dDelay);
			const float g = static_cast<float>(whole.GetFeedback());
			std::vector<float> ring(static_cast<size_t>(N), 0.0f);
			const std::vector<float> in = Noise(10000, 5);
			std::vector<float> expected(in.size()), out(in.size()), single(in.size());
			int w = 0;
			for (size_t i = 0; i < in.size(); ++i)
			{
				const float fPosition = static_cast<float>(w) - D;
				int k = static_cast<int>(std::floor(fPosition));
				const float t = fPosition - static_cast<float>(k);
				k = (k + N) % N;
				const float d = (1.0f - t) * ring[static_cast<size_t>(k)] + t * ring[static_cast<size_t>((k + 1) % N)];
				const float v = iType == Biquad::kDelayLine ? in[i] : d * g + in[i];
				ring[static_cast<size_t>(w)] = v;
				expected[i] = iType == Biquad::kComb ? v : iType == Biquad::kAllPass ? (-g) * v + d : d;
				w = (w + 1) % N;
			}
			for (size_t i = 0; i < in.size(); ++i)
				single[i] = whole.ProcessSample(in[i]);
			for (size_t i = 0; i < in.size(); i += 37)
			{
				const int n = static_cast<int>(std::min<size_t>(37, in.size() - i));
				shortRing.ProcessDelayLine(&in[i], &out[i], n);
			}
			ASSERT_EQ(single, expected);
			ASSERT_EQ(out, expected);
		}
}

// The bank forms each next state from the state rather than from the output:
// the same filter, rounded differently in the last bits of double precision,
// so each lane narrowed to float is its section's own output or, rarely, a
// neighbouring float. Steep, resonant designs and a loud, wide input.
TEST(Biquad, BankLanesAreTheirSectionsAlone)
{
	const struct
	{
		int iType;
		double dFreq, dQ, dGainDb;
	} aDesigns[] = {{Biquad::kPeak, 40.0 / 48000.0, 0.9, 30.0},   {Biquad::kPeak, 400.0 / 48000.0, 0.9, -30.0},
	                {Biquad::kPeak, 6400.0 / 48000.0, 0.9, 24.0}, {Biquad::kLowPass, 0.2, 8.0, 0.0},
	                {Biquad::kHighPass, 0.001, 0.7, 0.0},         {Biquad::kLowShelf, 0.01, 0.7, 12.0},
	                {Biquad::kHighShelf, 0.3, 0.7, -12.0}};
	BiquadBank bank;
	Biquad sections[7];
	for (int b = 0; b < 7; ++b)
	{
		sections[b].SetParameters(aDesigns[b].iType, aDesigns[b].dFreq, aDesigns[b].dQ, aDesigns[b].dGainDb);
		bank.SetSection(b, sections[b]);
	}
	std::mt19937 rng(5);
	std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
	std::vector<float> in(20000);
	for (size_t i = 0; i < in.size(); ++i)
		in[i] = (i / 4000) % 2 ? 1e-3f * dist(rng) : dist(rng);

	std::vector<float> outs(in.size() * BiquadBank::kLanes);
	const auto out = reinterpret_cast<float(*)[BiquadBank::kLanes]>(outs.data());
	for (size_t i = 0; i < in.size(); i += 1000)
		bank.Filter(&in[i], 1000, &out[i]);
	size_t nNeighbours = 0;
	for (int b = 0; b < 7; ++b)
	{
		const std::vector<float> expected = Filter(sections[b], in);
		for (size_t i = 0; i < in.size(); ++i)
		{
			const float f = out[i][b];
			if (f == expected[i])
				continue;
			ASSERT_TRUE(f == std::nextafter(expected[i], 0.0f) || f == std::nextafter(expected[i], 2.0f * expected[i]))
				<< "lane " << b << " sample " << i << ": " << f << " against " << expected[i];
			++nNeighbours;
		}
	}
	EXPECT_LT(nNeighbours, in.size() * 7 / 1000) << "samples a float away";
	for (size_t i = 0; i < in.size(); ++i)
		ASSERT_EQ(out[i][7], 0.0f) << "a lane never set gives 0";
}
