#include "MyConvolution.h"

#include "brontalassert.h"
#include "brontaldata.h"
#include "brontalparams.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>

namespace {
const float kDriveWeights[CMyConvolution::kNumBaseResponses] = {-0.7076f,      -0.93978f,   -0.75808f,   0.38399994f,
                                                                 -0.028259993f, 0.22935998f, -0.72688997f};
const float kCleanWeights[CMyConvolution::kNumBaseResponses] = {-0.12981999f, 0.09280002f, -0.34906f, 0.42418003f,
                                                                 0.0f,         0.0f,        -1.0f};
const double kBaseGains[CMyConvolution::kNumBaseResponses] = {6.0, 0.75, 8.0, 10.0, 7.0, 5.0, 5.0};
constexpr float kDriveLevelDb = -20.0f;
constexpr float kCleanLevelDb = -9.0f;
constexpr double kMixGain = 25.0;
constexpr float kResponseSeconds = 0.05f;
constexpr float kConvolvedShare = 0.208f;
constexpr float kBaseRate = 44100.0f;
// Keeps every product and sum finite; far above any real signal.
constexpr float kInputLimit = 1.0e6f;

// Single-precision products summed in double. Eight independent partial
// sums let the compiler vectorise without reassociating one running sum;
// the result differs from a sequential double sum only by double rounding.
// An AVX2 copy runs where the processor has it: the same operations in the
// same order per partial sum, so the same result, twice as wide. It is
// chosen once at load time by hand, since Windows modules have no ifunc.
inline __attribute__((always_inline)) double DotBody(const float* pfTaps, const float* pfHistory, int iCount)
{
	double adSum[8] = {};
	int k = 0;
	for (; k + 8 <= iCount; k += 8)
		for (int j = 0; j < 8; ++j)
			adSum[j] += static_cast<double>(pfTaps[k + j] * pfHistory[k + j]);
	double dSum = ((adSum[0] + adSum[1]) + (adSum[2] + adSum[3])) + ((adSum[4] + adSum[5]) + (adSum[6] + adSum[7]));
	for (; k < iCount; ++k)
		dSum += static_cast<double>(pfTaps[k] * pfHistory[k]);
	return dSum;
}

__attribute__((target("avx2"))) double DotAvx2(const float* pfTaps, const float* pfHistory, int iCount)
{
	return DotBody(pfTaps, pfHistory, iCount);
}

double DotDefault(const float* pfTaps, const float* pfHistory, int iCount)
{
	return DotBody(pfTaps, pfHistory, iCount);
}

using DotFunc = double (*)(const float*, const float*, int);

DotFunc ChooseDot()
{
	__builtin_cpu_init();
	return __builtin_cpu_supports("avx2") ? DotAvx2 : DotDefault;
}

const DotFunc Dot = ChooseDot();

// The switch value as stored for comparison: truncated, with values an int
// cannot hold (NaN included) kept as 0; those never compare equal to it.
int TruncateSwitch(float fValue)
{
	return (fValue > -2147483648.0f && fValue < 2147483648.0f) ? static_cast<int>(fValue) : 0;
}

float Sanitise(float x)
{
	if (std::fabs(x) <= kInputLimit)
		return x;
	return std::isnan(x) ? 0.0f : std::copysign(kInputLimit, x);
}
} // namespace

CMyConvolution::CMyConvolution()
	: m_afInputRing(new float[2 * BUFCONVOLUTIONSIZE]()), m_afResponse(new float[BUFCONVOLUTIONSIZE]())
{
	const brontal::Blob aBlobs[kNumBaseResponses] = {
		brontal::data::afBaseIR1(), brontal::data::afBaseIR2(), brontal::data::afBaseIR3(), brontal::data::afBaseIR4(),
		brontal::data::afBaseIR5(), brontal::data::afBaseIR6(), brontal::data::afBaseIR7()};
	for (int j = 0; j < kNumBaseResponses; ++j)
		m_aBase[j] = {reinterpret_cast<const float*>(aBlobs[j].data), static_cast<int>(aBlobs[j].size / sizeof(float))};
}

CMyConvolution::~CMyConvolution()
{
	delete[] m_afInputRing;
	delete[] m_afResponse;
}

int CMyConvolution::Reset()
{
	std::memset(m_afInputRing, 0, sizeof(float) * 2 * BUFCONVOLUTIONSIZE);
	std::memset(m_afResponse, 0, sizeof(float) * BUFCONVOLUTIONSIZE);
	// A ring needs one entry even when no response fits (rates below 10 Hz).
	lSize = std::max(BuffSizeToUse, 1);
	lWriteCursor = 0;
	std::fill(std::begin(m_afBuiltWeights), std::end(m_afBuiltWeights), 0.0f);
	m_dBuiltSampleRate = 0.0;
	m_iBuiltSwitch = 0;
	m_iResponseValid = 0;
	m_iTaps = 0;
	m_iNonZeroTaps = 0;
	return 1;
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
				dSum += static_cast<double>(m_aBase[j].pfData[m]) * static_cast<double>(afWeights[j]) * kBaseGains[j];
		m_afResponse[i] = static_cast<float>(kMixGain * dSum);
	}
	m_iTaps = std::min(static_cast<int>(kConvolvedShare * static_cast<float>(BuffSizeToUse)), lSize);
	m_iNonZeroTaps = static_cast<int>(
		std::count_if(m_afResponse, m_afResponse + m_iTaps, [](float h) { return h != 0.0f; }));
	++m_iBuildCount;
}

int CMyConvolution::Process(const float* pfIn1, const float*, float* pfOut1, float* pfOut2, int iCount)
{
	if (!m_afParams)
	{
		BRONTAL_ASSERT(false, "m_afParams", "MyConvolution");
		return 0;
	}
	const float fSwitch = GetParam(kDistortionOnOff);
	const bool bDrive = IsSwitchOn(fSwitch);
	const float* afWeights = bDrive ? kDriveWeights : kCleanWeights;
	const double dRate = *m_pdSampleRate;

	if (dRate != m_dBuiltSampleRate || fSwitch != static_cast<float>(m_iBuiltSwitch) ||
	    !std::equal(afWeights, afWeights + kNumBaseResponses, m_afBuiltWeights))
		m_iResponseValid = 0;
	if (!m_iResponseValid)
	{
		BuildResponse(afWeights, dRate);
		m_iResponseValid = 1;
	}
	std::copy(afWeights, afWeights + kNumBaseResponses, m_afBuiltWeights);
	m_dBuiltSampleRate = dRate;
	m_iBuiltSwitch = TruncateSwitch(fSwitch);

	if (iCount <= 0)
		return 1;
	BRONTAL_ASSERT(BuffSizeToUse <= BUFCONVOLUTIONSIZE, "BuffSizeToUse <= BUFCONVOLUTIONSIZE", "MyConvolution");
	BRONTAL_ASSERT(lSize <= BUFCONVOLUTIONSIZE, "lSize <= BUFCONVOLUTIONSIZE", "MyConvolution");
	BRONTAL_ASSERT(lWriteCursor < BUFCONVOLUTIONSIZE, "lWriteCursor < BUFCONVOLUTIONSIZE", "MyConvolution");

	const float fOutput = std::pow(10.0f, (bDrive ? kDriveLevelDb : kCleanLevelDb) / 20.0f);
	// The mean over the non-zero taps; with none (rates below 90 Hz) the
	// output is silent rather than 0/0.
	const double dTaps = static_cast<double>(m_iNonZeroTaps);
	for (int n = 0; n < iCount; ++n)
	{
		const float x = Sanitise(pfIn1[n]);
		m_afInputRing[lWriteCursor] = x;
		m_afInputRing[lWriteCursor + lSize] = x;
		const double dSum = Dot(m_afResponse, m_afInputRing + lWriteCursor, m_iTaps);
		lWriteCursor = (lWriteCursor == 0 ? lSize : lWriteCursor) - 1;
		const float y = m_iNonZeroTaps > 0 ? static_cast<float>(dSum / dTaps) * fOutput * kConvolvedShare : 0.0f;
		pfOut1[n] = y;
		pfOut2[n] = y;
	}
	return 1;
}
