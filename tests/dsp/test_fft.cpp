#include "Fft.h"
#include "dspfixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

// Against the defining sums, worked in double: every bin forward (found at
// its position), and the inverse back to Size() times the signal.
TEST(Fft, MatchesTheDefiningSumsBothWays)
{
	for (int iSize : {16, 32, 128, 256})
	{
		SCOPED_TRACE(iSize);
		CFft fft(iSize);
		const std::vector<float> xr = Noise(static_cast<size_t>(iSize), static_cast<unsigned>(iSize));
		const std::vector<float> xi = Noise(static_cast<size_t>(iSize), static_cast<unsigned>(iSize) + 1);
		std::vector<float> re = xr, im = xi;
		fft.Forward(re.data(), im.data());
		double dNorm = 0.0;
		for (size_t m = 0; m < xr.size(); ++m)
			dNorm += std::fabs(xr[m]) + std::fabs(xi[m]);
		std::vector<bool> abUsed(static_cast<size_t>(iSize), false);
		for (int k = 0; k < iSize; ++k)
		{
			double dRe = 0.0, dIm = 0.0;
			for (int m = 0; m < iSize; ++m)
			{
				const double dAngle = -2.0 * M_PI * k * m / iSize;
				dRe += xr[static_cast<size_t>(m)] * std::cos(dAngle) - xi[static_cast<size_t>(m)] * std::sin(dAngle);
				dIm += xr[static_cast<size_t>(m)] * std::sin(dAngle) + xi[static_cast<size_t>(m)] * std::cos(dAngle);
			}
			const size_t at = static_cast<size_t>(fft.Position(k));
			ASSERT_LT(at, abUsed.size());
			EXPECT_FALSE(abUsed[at]) << "two bins at " << at;
			abUsed[at] = true;
			ASSERT_NEAR(re[at], dRe, 1e-6 * dNorm) << k;
			ASSERT_NEAR(im[at], dIm, 1e-6 * dNorm) << k;
		}
		fft.Inverse(re.data(), im.data());
		for (int m = 0; m < iSize; ++m)
		{
			ASSERT_NEAR(re[static_cast<size_t>(m)], iSize * xr[static_cast<size_t>(m)], 1e-5 * iSize) << m;
			ASSERT_NEAR(im[static_cast<size_t>(m)], iSize * xi[static_cast<size_t>(m)], 1e-5 * iSize) << m;
		}
	}
}
