#include "MyChorus.h"

#include "brontalassert.h"
#include "brontalparams.h"

#include <cmath>
#include <cstring>

namespace {
// Below this the two taps cannot sit inside the ring; such a ring (no
// Reset yet, or an absurd rate) passes the signal through.
constexpr int kMinRingLength = 4;
} // namespace

CMyChorus::CMyChorus() : m_afRing(new float[kRingCapacity]()) {}

CMyChorus::~CMyChorus()
{
	delete[] m_afRing;
}

int CMyChorus::Reset()
{
	std::memset(m_afRing, 0, sizeof(float) * kRingCapacity);
	m_iRingLength = m_iConfiguredLength;
	m_iWriteCursor = 0;
	m_iCounter = 0;
	return 1;
}

int CMyChorus::SetSampleRate(const double* pdSampleRate)
{
	if (pdSampleRate)
	{
		bool bOverCapacity;
		m_iConfiguredLength = LengthAtRate(*pdSampleRate, 0.04f, kRingCapacity, bOverCapacity);
	}
	return CMyEffect::SetSampleRate(pdSampleRate);
}

// Linear read between the two entries around the position. The callers keep
// the position within [-2, 2L - 1), so one wrap each way is enough.
float CMyChorus::ReadTap(float fPosition) const
{
	int k = FloorToInt(fPosition);
	const float f = fPosition - static_cast<float>(k);
	if (k < 0)
		k += m_iRingLength;
	else if (k >= m_iRingLength)
		k -= m_iRingLength;
	int k1 = k + 1;
	if (k1 >= m_iRingLength)
		k1 -= m_iRingLength;
	return (1.0f - f) * m_afRing[k] + f * m_afRing[k1];
}

int CMyChorus::Process(const float* pfIn1, const float* pfIn2, float* pfOut1, float* pfOut2, int iCount)
{
	if (!m_afParams)
	{
		BRONTAL_ASSERT(false, "m_afParams", "MyChorus");
		CopyStereo(pfIn1, pfIn2, pfOut1, pfOut2, iCount);
		return 1;
	}
	const float s = GetParam(kChorusSpeed);
	const float fDry = 1.0f - 0.7f * s;
	const float fWet = 1.0f - fDry;

	const float fs = m_pdSampleRate ? SampleRateF() : 0.0f;
	if (!IsSwitchOn(GetParam(kModulationOnOff)) || m_iRingLength < kMinRingLength || !(fs > 0.0f) ||
	    !std::isfinite(fs))
	{
		CopyStereo(pfIn1, pfIn2, pfOut1, pfOut2, iCount);
		return 1;
	}

	const float fCounterLimit = fs * 3.3333333f;
	// Half the ring in use: equal to half the configured length whenever the
	// ring has been reset since the rate was set, and never past the ring.
	const float h = static_cast<float>(m_iRingLength / 2);
	const float fCentreOffset = h - 2.0f;
	const float fDepth = 0.15f * h;
	const float fLevel = (0.01f * s + 0.3f) * 3.33f;

	for (int i = 0; i < iCount; ++i)
	{
		const float x = pfIn1[i];
		m_afRing[m_iWriteCursor] = x;
		if (++m_iWriteCursor >= m_iRingLength)
			m_iWriteCursor = 0;

		if (fCounterLimit > static_cast<float>(m_iCounter))
			++m_iCounter;
		else
			m_iCounter = 0;

		const double dPhase = static_cast<double>(static_cast<float>(m_iCounter) / fs * 1.8849558f);
		// Same argument: the compiler folds the pair into one sincos.
		const float fCos = static_cast<float>(std::cos(dPhase));
		const float fSin = static_cast<float>(std::sin(dPhase));

		const float fCentre = static_cast<float>(m_iWriteCursor) + fCentreOffset;
		const float fTap1 = ReadTap(fCentre + fDepth * fCos);
		const float fTap2 = ReadTap(fCentre + fDepth * fSin);

		pfOut1[i] = (fWet * fTap1 + fDry * x) * fLevel;
		pfOut2[i] = (fWet * fTap2 + fDry * x) * fLevel;
	}
	return 1;
}
