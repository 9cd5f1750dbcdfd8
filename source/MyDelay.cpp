#include "MyDelay.h"

#include "brontalassert.h"
#include "cpufeatures.h"
#include "brontalparams.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {
// A fractional delay split once per block into a whole number of samples
// to step back and the weight of the newer of the two entries read.
struct ReadTap
{
	int iBack;
	float fNewer;

	explicit ReadTap(double dDelay)
	{
		const double dBack = std::ceil(dDelay);
		iBack = static_cast<int>(dBack);
		fNewer = static_cast<float>(dBack - dDelay);
	}

	// Reads between the entries at cursor - iBack (older) and the one after
	// it; iBack is within 1..L, so one wrap each is enough.
	float Read(const float* afRing, int iCursor, int iLength) const
	{
		int k = iCursor - iBack;
		if (k < 0)
			k += iLength;
		int k1 = k + 1;
		if (k1 == iLength)
			k1 = 0;
		return (1.0f - fNewer) * afRing[k] + fNewer * afRing[k1];
	}
};

// The two cross-fed lines and what the block mixes them with.
struct Lines
{
	float* afRing1;
	float* afRing2;
	int L;
	ReadTap tap1;
	ReadTap tap2;
	float fOwn;
	float fCross;
	float m;
	float d;
};

// One stretch: the reads (older entries and the ones after them) lie apart
// from the stretch's writes, and the block's inputs and outputs are
// distinct buffers.
__attribute__((always_inline)) inline void RunStretch(const Lines& l, const float* __restrict pfOlder1,
                                                      const float* __restrict pfOlder2, float* __restrict pfStore1,
                                                      float* __restrict pfStore2, const float* __restrict pfX1,
                                                      const float* __restrict pfX2, float* __restrict pfY1,
                                                      float* __restrict pfY2, int C)
{
	const float f1 = l.tap1.fNewer, f2 = l.tap2.fNewer;
	const float fOwn = l.fOwn, fCross = l.fCross, fDry = l.d, fWet = l.m;
	for (int i = 0; i < C; ++i)
	{
		// Only finite samples may enter the feedback lines.
		const float x1 = SanitiseSample(pfX1[i]);
		const float x2 = SanitiseSample(pfX2[i]);
		const float r1 = (1.0f - f1) * pfOlder1[i] + f1 * pfOlder1[i + 1];
		const float r2 = (1.0f - f2) * pfOlder2[i] + f2 * pfOlder2[i + 1];
		const float w1 = (fOwn * r1 + fCross * r2) + x1;
		const float w2 = (fOwn * r2 + fCross * r1) + x2;
		pfStore1[i] = w1;
		pfStore2[i] = w2;
		pfY1[i] = fDry * x1 + fWet * w1;
		pfY2[i] = fDry * x2 + fWet * w2;
	}
}

// The lines over a block from the cursor; returns the cursor after it. A
// stretch no longer than either read's step back, and clear of the ring's
// end, reads only entries written before it and none that it writes: its
// reads, then its writes, run side by side, with the operations of the
// sample-by-sample loop. Where no such stretch fits, one sample at a time.
__attribute__((always_inline)) inline int RunLinesBody(const Lines& l, const float* pfIn1, const float* pfIn2,
                                                        float* pfOut1, float* pfOut2, int iCount, int iCursor)
{
	const int L = l.L;
	for (int iDone = 0; iDone < iCount;)
	{
		int k1 = iCursor - l.tap1.iBack;
		if (k1 < 0)
			k1 += L;
		int k2 = iCursor - l.tap2.iBack;
		if (k2 < 0)
			k2 += L;
		const int C = std::min({iCount - iDone, L - iCursor, l.tap1.iBack - 1, L - l.tap1.iBack, l.tap2.iBack - 1,
		                        L - l.tap2.iBack, L - 1 - k1, L - 1 - k2});
		if (C <= 0)
		{
			// Only finite samples may enter the feedback lines.
			const float x1 = SanitiseSample(pfIn1[iDone]);
			const float x2 = SanitiseSample(pfIn2[iDone]);
			const float r1 = l.tap1.Read(l.afRing1, iCursor, L);
			const float r2 = l.tap2.Read(l.afRing2, iCursor, L);
			const float w1 = (l.fOwn * r1 + l.fCross * r2) + x1;
			const float w2 = (l.fOwn * r2 + l.fCross * r1) + x2;
			l.afRing1[iCursor] = w1;
			l.afRing2[iCursor] = w2;
			pfOut1[iDone] = l.d * x1 + l.m * w1;
			pfOut2[iDone] = l.d * x2 + l.m * w2;
			++iDone;
			if (++iCursor >= L)
				iCursor = 0;
			continue;
		}
		RunStretch(l, l.afRing1 + k1, l.afRing2 + k2, l.afRing1 + iCursor, l.afRing2 + iCursor, pfIn1 + iDone,
		           pfIn2 + iDone, pfOut1 + iDone, pfOut2 + iDone, C);
		iDone += C;
		iCursor += C;
		if (iCursor >= L)
			iCursor = 0;
	}
	return iCursor;
}

} // namespace

CMyDelay::CMyDelay() = default;

CMyDelay::~CMyDelay()
{
	std::free(m_afRing1);
	std::free(m_afRing2);
}

int CMyDelay::Reset()
{
	if (m_iDirtyLength > 0)
	{
		const size_t nBytes = sizeof(float) * static_cast<size_t>(m_iDirtyLength);
		std::memset(m_afRing1, 0, nBytes);
		std::memset(m_afRing2, 0, nBytes);
	}
	m_iDirtyLength = 0;
	m_iRingLength = m_iAllocatedLength;
	m_iWriteCursor = 0;
	m_fade.Forget();
	return 1;
}

int CMyDelay::SetSampleRate(const double* pdSampleRate)
{
	if (pdSampleRate)
	{
		bool bOverCapacity;
		m_iConfiguredLength = LengthAtRate(*pdSampleRate, 33.0f, kRingCapacity, bOverCapacity);
		// Above 192 kHz the longest delay shrinks below 33 s.
		BRONTAL_ASSERT(!bOverCapacity, "0", "MyDelay");
		AllocateRings();
	}
	return CMyEffect::SetSampleRate(pdSampleRate);
}

void CMyDelay::AllocateRings()
{
	// The rings hold the configured length at the rate in use. Zeroed pages
	// from calloc cost no memory until written: the rings become resident
	// only as far as the delay has run.
	if (m_iConfiguredLength == m_iAllocatedLength && m_afRing1)
		return;
	std::free(m_afRing1);
	std::free(m_afRing2);
	const size_t nLength = static_cast<size_t>(std::max(m_iConfiguredLength, 1));
	m_afRing1 = static_cast<float*>(std::calloc(nLength, sizeof(float)));
	m_afRing2 = static_cast<float*>(std::calloc(nLength, sizeof(float)));
	m_iAllocatedLength = m_afRing1 && m_afRing2 ? m_iConfiguredLength : 0;
	// Nothing to read until the next Reset gives the rings their length.
	m_iRingLength = 0;
	m_iWriteCursor = 0;
	m_iDirtyLength = 0;
}

float CMyDelay::SamplesForDelay() const
{
	const float fTempo = m_pfTempo ? m_pfTempo->load(std::memory_order_relaxed) : kDefaultTempo;
	const float fs = m_pdSampleRate ? SampleRateF() : 0.0f;
	return (1.0f / (fTempo / 60.0f)) * 0.5f * fs;
}

float CMyDelay::BoundDelay(float samplesfordelay) const
{
	// Bounded before any index is formed: line 2 reads twice as far back as
	// line 1, so at most half a ring; at least one sample so a read never
	// lands on the entry about to be written. A tempo that is 0, NaN or
	// too slow takes the longest delay; negative, infinite or too fast, the
	// shortest.
	const float fLongest = 0.5f * static_cast<float>(m_iRingLength);
	if (!(samplesfordelay <= fLongest))
		return fLongest;
	if (!(samplesfordelay >= 1.0f))
		return 1.0f;
	return samplesfordelay;
}

double CMyDelay::GetTailSeconds() const
{
	if (!m_afParams || !m_pdSampleRate || !IsSwitchOn(GetParam(kDelayOnOff)) || m_iRingLength < 2)
		return 0.0;
	// Each trip round the cross-fed lines keeps at most 0.6 of the 0.7 * m
	// feedback (own 0.1 plus cross 0.5), and the longest trip is the quarter
	// note of line 2.
	const double dLoopGain = 0.42 * static_cast<double>(GetParam(kDelayLevel));
	if (!(dLoopGain > 0.0))
		return 0.0;
	const double dQuarter = 2.0 * static_cast<double>(BoundDelay(SamplesForDelay())) / *m_pdSampleRate;
	return dQuarter * (kTailFloorDb / 20.0) / std::log10(dLoopGain);
}

int CMyDelay::Process(const float* pfIn1, const float* pfIn2, float* pfOut1, float* pfOut2, int iCount)
{
	if (!m_afParams)
	{
		BRONTAL_ASSERT(false, "m_afParams", "MyDelay");
		CopyStereo(pfIn1, pfIn2, pfOut1, pfOut2, iCount);
		return 1;
	}
	float samplesfordelay = SamplesForDelay();
	const double dRate = m_pdSampleRate ? *m_pdSampleRate : 0.0;
	m_levelGlide.Follow(GetParam(kDelayLevel), dRate);

	// Off, or no ring to hold an echo yet (before the first Reset): pass.
	m_fade.Follow(IsSwitchOn(GetParam(kDelayOnOff)), dRate);
	if (m_fade.Off() || m_iRingLength < 2)
	{
		// Nobody hears the level: switched on, it is where it was set.
		m_levelGlide.Snap();
		CopyStereo(pfIn1, pfIn2, pfOut1, pfOut2, iCount);
		return 1;
	}

	const float fbuffsizetouse = static_cast<float>(m_iRingLength);
	BRONTAL_ASSERT(samplesfordelay < fbuffsizetouse, "samplesfordelay < fbuffsizetouse", "MyDelay");
	samplesfordelay = BoundDelay(samplesfordelay);
	const ReadTap tap1(static_cast<double>(samplesfordelay));
	const ReadTap tap2(2.0 * static_cast<double>(samplesfordelay));

	const int iStart = m_iWriteCursor;
	int iCursor = iStart;
	for (int iDone = 0; iDone < iCount;)
	{
		// A gliding level steps at each run: the feedback and the mix follow it.
		const CLevelGlide::Run run = m_levelGlide.Next(iCount - iDone);
		const float m = run.fTo;
		const float g = 0.7f * m;
		// 0.5 * (0.2g * r1 + g * r2) with the halving folded into each factor.
		const Lines lines{m_afRing1, m_afRing2, m_iRingLength, tap1, tap2, 0.5f * (0.2f * g), 0.5f * g, m, 1.0f - m};
		iCursor = RunBestBuild([&](auto) BRONTAL_INLINE {
			return RunLinesBody(lines, pfIn1 + iDone, pfIn2 + iDone, pfOut1 + iDone, pfOut2 + iDone, run.iCount,
			                    iCursor);
		});
		iDone += run.iCount;
	}
	const int L = m_iRingLength;

	// Written so far: every entry once the cursor has come round, else up to it.
	if (iCount >= L || iCursor < iStart)
		m_iDirtyLength = L;
	else
		m_iDirtyLength = std::max(m_iDirtyLength, iCursor);
	m_iWriteCursor = iCursor;
	// The on path carries the dry signal too: the two add in phase.
	if (m_fade.Mixing())
		m_fade.Crossfade(pfIn1, pfOut1, pfIn2, pfOut2, iCount, CSwitchFade::kEqualGain);
	return 1;
}
