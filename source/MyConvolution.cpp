#include "MyConvolution.h"

#include "DirectTaps.h"
#include "IrConvolver.h"
#include "brontalassert.h"
#include "brontaldata.h"
#include "cpufeatures.h"
#include "simd.h"
#include "brontalparams.h"
#include "brontalvoicings.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>

namespace {
using brontal::voicings::kCabinetBaseGains;
static_assert(brontal::voicings::kCabinetResponses == CMyConvolution::kNumBaseResponses, "one weight per base response");
constexpr double kMixGain = 25.0;
constexpr float kResponseSeconds = 0.05f;
constexpr float kConvolvedShare = 0.208f;
constexpr float kBaseRate = 44100.0f;
} // namespace

CMyConvolution::CMyConvolution()
	: m_afResponse(new float[BUFCONVOLUTIONSIZE]())
	, m_afPartRe(static_cast<size_t>(kMaxPartitions * 2 * kPartition))
	, m_afPartIm(m_afPartRe.size())
	, m_afLineRe(m_afPartRe.size())
	, m_afLineIm(m_afPartRe.size())
	, m_afAccRe(static_cast<size_t>(2 * kPartition))
	, m_afAccIm(m_afAccRe.size())
{
	const brontal::Blob aBlobs[kNumBaseResponses] = {
		brontal::data::afBaseIR1(), brontal::data::afBaseIR2(), brontal::data::afBaseIR3(), brontal::data::afBaseIR4(),
		brontal::data::afBaseIR5(), brontal::data::afBaseIR6(), brontal::data::afBaseIR7()};
	for (int j = 0; j < kNumBaseResponses; ++j)
		m_aBase[j] = {reinterpret_cast<const float*>(aBlobs[j].data), static_cast<int>(aBlobs[j].size / sizeof(float))};
}

CMyConvolution::~CMyConvolution()
{
	delete[] m_afResponse;
}

int CMyConvolution::Reset()
{
	std::memset(m_afResponse, 0, sizeof(float) * BUFCONVOLUTIONSIZE);
	m_iBuiltDrive = 0;
	m_dBuiltSampleRate = 0.0;
	m_iResponseValid = 0;
	m_iTaps = 0;
	m_iNonZeroTaps = 0;
	m_iPartitions = 0;
	ClearHistory();
	// The response switch settles where it stands, and knows it.
	const bool bOn = m_responseFade.On();
	m_apResponse[bOn ? 0 : 1] = nullptr;
	m_responseFade.Forget();
	m_responseFade.Follow(bOn, m_pdSampleRate ? *m_pdSampleRate : 48000.0);
	if (m_apResponse[bOn ? 1 : 0])
		m_apResponse[bOn ? 1 : 0]->Reset();
	return 1;
}

void CMyConvolution::ClearHistory()
{
	std::fill(std::begin(m_afWindow), std::end(m_afWindow), 0.0f);
	std::fill(std::begin(m_adWindow), std::end(m_adWindow), 0.0);
	m_iGridPos = 0;
	std::fill(m_afLineRe.begin(), m_afLineRe.end(), 0.0f);
	std::fill(m_afLineIm.begin(), m_afLineIm.end(), 0.0f);
	m_iLineHead = 0;
	std::fill(std::begin(m_afTail), std::end(m_afTail), 0.0f);
}

void CMyConvolution::UseResponse(CIrConvolver* pResponse, bool bAtOnce)
{
	// The new response takes the path not heard now.
	const bool bOn = !m_responseFade.On();
	m_apResponse[bOn ? 1 : 0] = pResponse;
	// The built-in mix's memory stood still while it was not heard.
	if (!pResponse)
		ClearHistory();
	if (bAtOnce)
	{
		m_apResponse[bOn ? 0 : 1] = nullptr;
		m_responseFade.Forget();
	}
	m_responseFade.Follow(bOn, m_pdSampleRate ? *m_pdSampleRate : 48000.0);
}

bool CMyConvolution::StereoOutput() const
{
	const int iHeard = m_responseFade.On() ? 1 : 0;
	const CIrConvolver* pHeard = m_apResponse[iHeard];
	const CIrConvolver* pOther = m_responseFade.Mixing() ? m_apResponse[1 - iHeard] : nullptr;
	return (pHeard && pHeard->IsStereo()) || (pOther && pOther->IsStereo());
}

double CMyConvolution::BuiltInEnergy()
{
	CMyConvolution cabinet;
	const double dRate = kBaseRate;
	cabinet.SetSampleRate(&dRate);
	cabinet.BuildResponse(brontal::voicings::kCabinetClean.afWeights, dRate);
	// The taps as Convolve applies them: the mean over the non-zero ones, times the share.
	const double dScale = kConvolvedShare / static_cast<double>(cabinet.m_iNonZeroTaps);
	double dSum = 0.0;
	for (int k = 0; k < cabinet.m_iTaps; ++k)
		dSum += (cabinet.m_afResponse[k] * dScale) * (cabinet.m_afResponse[k] * dScale);
	return dRate * dSum;
}

int CMyConvolution::SetSampleRate(const double* pdSampleRate)
{
	if (pdSampleRate)
	{
		bool bOverCapacity;
		BuffSizeToUse = LengthAtRate(*pdSampleRate, kResponseSeconds, BUFCONVOLUTIONSIZE, bOverCapacity);
		BRONTAL_ASSERT(!bOverCapacity, "0", "MyConvolution");
		m_iResponseValid = 0;
	}
	return CMyEffect::SetSampleRate(pdSampleRate);
}

void CMyConvolution::BuildResponse(const float* afWeights, double dSampleRate)
{
	std::memset(m_afResponse, 0, sizeof(float) * BUFCONVOLUTIONSIZE);
	const float fRate = static_cast<float>(dSampleRate);
	for (int i = 0; i < BuffSizeToUse; ++i)
	{
		// Nearest base entry, no interpolation.
		const float fPosition = static_cast<float>(i) * kBaseRate / fRate;
		const int m = static_cast<int>(fPosition + 0.5f);
		double dSum = 0.0;
		for (int j = 0; j < kNumBaseResponses; ++j)
			if (m < m_aBase[j].iLength)
				dSum += static_cast<double>(m_aBase[j].pfData[m]) * static_cast<double>(afWeights[j]) * kCabinetBaseGains[j];
		m_afResponse[i] = static_cast<float>(kMixGain * dSum);
	}
	m_iTaps = static_cast<int>(kConvolvedShare * static_cast<float>(BuffSizeToUse));
	for (int k = 0; k < kPartition; ++k)
		m_adDirectTaps[k] = m_afResponse[k];
	m_iNonZeroTaps = static_cast<int>(
		std::count_if(m_afResponse, m_afResponse + m_iTaps, [](float h) { return h != 0.0f; }));

	// The taps past the direct part, kPartition at a time, as spectra of
	// twice the length; 1 / Size() undoes the unnormalised inverse.
	m_iPartitions = m_iTaps > kPartition ? (m_iTaps - 1) / kPartition : 0;
	const float fScale = 1.0f / static_cast<float>(m_fft.Size());
	const size_t nBins = static_cast<size_t>(m_fft.Size());
	for (int p = 0; p < m_iPartitions; ++p)
	{
		float* pfRe = &m_afPartRe[static_cast<size_t>(p) * nBins];
		float* pfIm = &m_afPartIm[static_cast<size_t>(p) * nBins];
		std::fill(pfRe, pfRe + nBins, 0.0f);
		std::fill(pfIm, pfIm + nBins, 0.0f);
		const int iFirst = (p + 1) * kPartition;
		const int iEnd = std::min(iFirst + kPartition, m_iTaps);
		for (int k = iFirst; k < iEnd; ++k)
			pfRe[k - iFirst] = m_afResponse[k] * fScale;
		m_fft.Forward(pfRe, pfIm);
	}
	++m_iBuildCount;
}

void CMyConvolution::PushInputSpectrum()
{
	const size_t nBins = static_cast<size_t>(m_fft.Size());
	m_iLineHead = m_iLineHead + 1 == kMaxPartitions ? 0 : m_iLineHead + 1;
	float* pfRe = &m_afLineRe[static_cast<size_t>(m_iLineHead) * nBins];
	float* pfIm = &m_afLineIm[static_cast<size_t>(m_iLineHead) * nBins];
	std::copy(std::begin(m_afWindow), std::end(m_afWindow), pfRe);
	std::fill(pfIm, pfIm + nBins, 0.0f);
	m_fft.Forward(pfRe, pfIm);
}

__attribute__((always_inline)) inline void CMyConvolution::SumTail()
{
	using simd::V8f;
	const int nBins = m_fft.Size();
	float* pfAccRe = m_afAccRe.data();
	float* pfAccIm = m_afAccIm.data();
	// Eight bins at a time, their sums kept in registers over the partitions.
	for (int k = 0; k < nBins; k += 8)
	{
		V8f vAccRe = {}, vAccIm = {};
		int iSlot = m_iLineHead;
		for (int p = 0; p < m_iPartitions; ++p)
		{
			V8f vHr, vHi, vXr, vXi;
			__builtin_memcpy(&vHr, &m_afPartRe[static_cast<size_t>(p * nBins + k)], sizeof vHr);
			__builtin_memcpy(&vHi, &m_afPartIm[static_cast<size_t>(p * nBins + k)], sizeof vHi);
			__builtin_memcpy(&vXr, &m_afLineRe[static_cast<size_t>(iSlot * nBins + k)], sizeof vXr);
			__builtin_memcpy(&vXi, &m_afLineIm[static_cast<size_t>(iSlot * nBins + k)], sizeof vXi);
			vAccRe += vHr * vXr - vHi * vXi;
			vAccIm += vHr * vXi + vHi * vXr;
			iSlot = iSlot == 0 ? kMaxPartitions - 1 : iSlot - 1;
		}
		__builtin_memcpy(pfAccRe + k, &vAccRe, sizeof vAccRe);
		__builtin_memcpy(pfAccIm + k, &vAccIm, sizeof vAccIm);
	}
	// The second half of the circular result is the linear one.
	m_fft.Inverse(pfAccRe, pfAccIm);
	std::copy(pfAccRe + kPartition, pfAccRe + 2 * kPartition, m_afTail);
}

template <bool bAvx2> __attribute__((always_inline)) inline void CMyConvolution::Convolve(const float* pfIn, float* pfOut1, float* pfOut2, int iCount)
{
	// The mean over the non-zero taps; with none (rates below 90 Hz) the
	// output is silent rather than 0/0.
	const double dTaps = static_cast<double>(m_iNonZeroTaps);
	const float fOutput = m_fOutputFactor;
	const int iDirect = std::min(m_iTaps, kPartition);
	const double* pdTaps = m_adDirectTaps;
	for (int iDone = 0; iDone < iCount;)
	{
		// Up to the end of the current partition.
		const int iStart = m_iGridPos;
		const int n = std::min(iCount - iDone, kPartition - iStart);
		float* pfNow = m_afWindow + kPartition + iStart;
		double* pdNow = m_adWindow + kPartition + iStart;
		for (int i = 0; i < n; ++i)
		{
			pfNow[i] = ConvolutionInput(pfIn[iDone + i]);
			pdNow[i] = pfNow[i];
		}

		double adSum[kPartition];
		DirectTapsRun<simd::V4d, 8>(pdTaps, iDirect, pdNow, adSum, n);
		for (int i = 0; i < n; ++i)
		{
			const double dSum = adSum[i] + static_cast<double>(m_afTail[iStart + i]);
			const float y = m_iNonZeroTaps > 0 ? static_cast<float>(dSum / dTaps) * fOutput * kConvolvedShare : 0.0f;
			pfOut1[iDone + i] = y;
			pfOut2[iDone + i] = y;
		}

		iDone += n;
		m_iGridPos += n;
		if (m_iGridPos == kPartition)
		{
			m_iGridPos = 0;
			PushInputSpectrum();
			SumTail();
			std::copy(m_afWindow + kPartition, m_afWindow + 2 * kPartition, m_afWindow);
			std::copy(m_adWindow + kPartition, m_adWindow + 2 * kPartition, m_adWindow);
		}
	}
}

int CMyConvolution::Process(const float* pfIn1, const float*, float* pfOut1, float* pfOut2, int iCount)
{
	if (!m_afParams)
	{
		BRONTAL_ASSERT(false, "m_afParams", "MyConvolution");
		return 0;
	}
	const bool bDrive = IsSwitchOn(GetParam(kDistortionOnOff));
	const double dRate = *m_pdSampleRate;
	// The response depends on the voicing and the rate alone.
	if (!m_iResponseValid || dRate != m_dBuiltSampleRate || static_cast<int>(bDrive) != m_iBuiltDrive)
	{
		const brontal::voicings::CabinetVoicing& voicing =
		    bDrive ? brontal::voicings::kCabinetDrive : brontal::voicings::kCabinetClean;
		BuildResponse(voicing.afWeights, dRate);
		m_fOutputFactor = std::pow(10.0f, voicing.fLevelDb / 20.0f);
		m_iBuiltDrive = bDrive ? 1 : 0;
		m_dBuiltSampleRate = dRate;
		m_iResponseValid = 1;
		// The rest of the current partition already hears the new response.
		SumTail();
	}

	if (iCount <= 0)
		return 1;
	BRONTAL_ASSERT(BuffSizeToUse <= BUFCONVOLUTIONSIZE, "BuffSizeToUse <= BUFCONVOLUTIONSIZE", "MyConvolution");
	if (!m_responseFade.Mixing())
	{
		RunPath(m_apResponse[m_responseFade.On() ? 1 : 0], pfIn1, pfOut1, pfOut2, iCount);
		return 1;
	}
	// Two responses heard at once for the fade: unrelated sounds, so their powers add.
	for (int iDone = 0; iDone < iCount;)
	{
		const int n = std::min(kPiece, iCount - iDone);
		RunPath(m_apResponse[0], pfIn1 + iDone, m_afLeaving1, m_afLeaving2, n);
		RunPath(m_apResponse[1], pfIn1 + iDone, pfOut1 + iDone, pfOut2 + iDone, n);
		m_responseFade.Crossfade(m_afLeaving1, pfOut1 + iDone, m_afLeaving2, pfOut2 + iDone, n, CSwitchFade::kEqualPower);
		iDone += n;
	}
	if (!m_responseFade.Mixing())
		m_apResponse[m_responseFade.On() ? 0 : 1] = nullptr;
	return 1;
}

void CMyConvolution::RunPath(CIrConvolver* pResponse, const float* pfIn, float* pfOut1, float* pfOut2, int iCount)
{
	if (!pResponse)
	{
		RunBestBuild([&](auto avx2) BRONTAL_INLINE { Convolve<decltype(avx2)::value>(pfIn, pfOut1, pfOut2, iCount); });
		return;
	}
	// The player's response replaces the mix; the voicing's level stays.
	pResponse->Process(pfIn, pfOut1, pfOut2, iCount);
	for (int i = 0; i < iCount; ++i)
	{
		pfOut1[i] *= m_fOutputFactor;
		pfOut2[i] *= m_fOutputFactor;
	}
}
