#include "MyDelay.h"

#include "brontalassert.h"
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
	const float m = GetParam(kDelayLevel);
	const float g = 0.7f * m;
	const float d = 1.0f - m;

	// Off, or no ring to hold an echo yet (before the first Reset): pass.
	if (!IsSwitchOn(GetParam(kDelayOnOff)) || m_iRingLength < 2)
	{
		CopyStereo(pfIn1, pfIn2, pfOut1, pfOut2, iCount);
		return 1;
	}

	const float fbuffsizetouse = static_cast<float>(m_iRingLength);
	BRONTAL_ASSERT(samplesfordelay < fbuffsizetouse, "samplesfordelay < fbuffsizetouse", "MyDelay");
	samplesfordelay = BoundDelay(samplesfordelay);
	const ReadTap tap1(static_cast<double>(samplesfordelay));
	const ReadTap tap2(2.0 * static_cast<double>(samplesfordelay));

	// 0.5 * (0.2g * r1 + g * r2) with the halving folded into each factor.
	const float fOwn = 0.5f * (0.2f * g);
	const float fCross = 0.5f * g;
	float* const afRing1 = m_afRing1;
	float* const afRing2 = m_afRing2;
	const int L = m_iRingLength;
	int iCursor = m_iWriteCursor;

	for (int i = 0; i < iCount; ++i)
	{
		// Only finite samples may enter the feedback lines.
		const float x1 = std::isfinite(pfIn1[i]) ? pfIn1[i] : 0.0f;
		const float x2 = std::isfinite(pfIn2[i]) ? pfIn2[i] : 0.0f;
		const float r1 = tap1.Read(afRing1, iCursor, L);
		const float r2 = tap2.Read(afRing2, iCursor, L);
		const float w1 = (fOwn * r1 + fCross * r2) + x1;
		const float w2 = (fOwn * r2 + fCross * r1) + x2;
		afRing1[iCursor] = w1;
		afRing2[iCursor] = w2;
		if (++iCursor >= L)
			iCursor = 0;
		pfOut1[i] = d * x1 + m * w1;
		pfOut2[i] = d * x2 + m * w2;
	}

	// Written so far: every entry once the cursor has come round, else up to it.
	if (iCount >= L || iCursor < m_iWriteCursor)
		m_iDirtyLength = L;
	else
		m_iDirtyLength = std::max(m_iDirtyLength, iCursor);
	m_iWriteCursor = iCursor;
	return 1;
}
