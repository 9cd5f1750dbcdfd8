#include "IrPrepare.h"

#include <algorithm>
#include <cmath>

namespace brontal {
namespace {

constexpr double kPi = 3.14159265358979323846;
// The Kaiser design for kResampleStopbandDb over a transition from
// kResamplePassband to 1 of the lower Nyquist frequency: beta 0.1102 (A - 8.7),
// (A - 7.95) / (2.285 * 2 pi * 0.05) = 184 taps at the lower rate, cut off
// half-way through the transition.
constexpr double kBeta = 0.1102 * (kResampleStopbandDb - 8.7);
constexpr int kHalfWidth = 92;
constexpr double kCutoff = 0.5 * (1.0 + kResamplePassband);
// The kernel is tabulated at this many points per sample of the lower rate
// and read between them linearly: the error of that is below pi^2 / (8 kPhases^2).
constexpr int kPhases = 4096;

double BesselI0(double x)
{
	double dSum = 1.0, dTerm = 1.0;
	const double dQuarter = 0.25 * x * x;
	for (int k = 1; k < 200 && dTerm > 1e-17 * dSum; ++k)
	{
		dTerm *= dQuarter / (static_cast<double>(k) * k);
		dSum += dTerm;
	}
	return dSum;
}

// The windowed sinc from 0 to kHalfWidth, with a zero after its end so that
// reading between the last two points needs no test.
const std::vector<double>& Kernel()
{
	static const std::vector<double> adKernel = [] {
		std::vector<double> ad(static_cast<size_t>(kHalfWidth * kPhases + 2), 0.0);
		const double dNorm = 1.0 / BesselI0(kBeta);
		for (int j = 0; j < kHalfWidth * kPhases; ++j)
		{
			const double u = static_cast<double>(j) / kPhases;
			const double dArg = kPi * kCutoff * u;
			const double dSinc = j == 0 ? 1.0 : std::sin(dArg) / dArg;
			const double r = u / kHalfWidth;
			ad[static_cast<size_t>(j)] = kCutoff * dSinc * BesselI0(kBeta * std::sqrt(1.0 - r * r)) * dNorm;
		}
		return ad;
	}();
	return adKernel;
}

} // namespace

std::vector<float> ResampleResponse(const std::vector<float>& afIn, double dFromRate, double dToRate)
{
	if (dFromRate == dToRate || afIn.empty())
		return afIn;
	const std::vector<double>& adKernel = Kernel();
	const double dStep = dFromRate / dToRate;
	// The kernel is laid out in samples of the lower rate.
	const double dScale = std::min(1.0, dToRate / dFromRate);
	const double dReach = kHalfWidth / dScale;
	const double dGain = dStep * dScale;
	const long iIn = static_cast<long>(afIn.size());
	const size_t nOut = static_cast<size_t>(std::ceil(static_cast<double>(afIn.size()) / dStep));
	std::vector<float> afOut(nOut);
	for (size_t m = 0; m < nOut; ++m)
	{
		const double t = static_cast<double>(m) * dStep;
		const long iFirst = std::max(0L, static_cast<long>(std::ceil(t - dReach)));
		const long iLast = std::min(iIn - 1, static_cast<long>(std::floor(t + dReach)));
		double dSum = 0.0;
		for (long k = iFirst; k <= iLast; ++k)
		{
			const double u = std::fabs(t - static_cast<double>(k)) * dScale * kPhases;
			const size_t j = static_cast<size_t>(u);
			if (j >= static_cast<size_t>(kHalfWidth * kPhases))
				continue;
			const double f = u - static_cast<double>(j);
			dSum += static_cast<double>(afIn[static_cast<size_t>(k)]) * (adKernel[j] + f * (adKernel[j + 1] - adKernel[j]));
		}
		afOut[m] = static_cast<float>(dGain * dSum);
	}
	return afOut;
}

int LeadingSilence(const IrSamples& ir)
{
	float fPeak = 0.0f;
	for (const std::vector<float>* p : {&ir.afLeft, &ir.afRight})
		for (float x : *p)
			fPeak = std::max(fPeak, std::fabs(x));
	const double dThreshold = fPeak * std::pow(10.0, kIrTrimThresholdDb / 20.0);
	for (int i = 0; i < ir.Frames(); ++i)
	{
		const float fRight = ir.IsStereo() ? std::fabs(ir.afRight[static_cast<size_t>(i)]) : 0.0f;
		if (std::max(std::fabs(ir.afLeft[static_cast<size_t>(i)]), fRight) >= dThreshold)
			return i;
	}
	return 0;
}

double ResponseEnergy(const IrSamples& ir)
{
	double dSum = 0.0;
	for (const std::vector<float>* p : {&ir.afLeft, &ir.afRight})
		for (float x : *p)
			dSum += static_cast<double>(x) * x;
	return ir.dSampleRate * dSum / (ir.IsStereo() ? 2.0 : 1.0);
}

IrTaps PrepareResponse(const IrSamples& ir, const IrSettings& settings, double dHostRate, double dTargetEnergy)
{
	const int iStart = settings.bTrim ? LeadingSilence(ir) : 0;
	const double dEnergy = ResponseEnergy(ir);
	const double dGain = settings.bNormalise && dEnergy > 0.0 ? std::sqrt(dTargetEnergy / dEnergy) : 1.0;
	IrTaps taps;
	for (int c = 0; c < (ir.IsStereo() ? 2 : 1); ++c)
	{
		const std::vector<float>& afIn = c == 0 ? ir.afLeft : ir.afRight;
		std::vector<float> afTrimmed(afIn.begin() + iStart, afIn.end());
		if (dGain != 1.0)
			for (float& x : afTrimmed)
				x = static_cast<float>(x * dGain);
		(c == 0 ? taps.afLeft : taps.afRight) = ResampleResponse(afTrimmed, ir.dSampleRate, dHostRate);
	}
	return taps;
}

} // namespace brontal
