#include "fastmath.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>

namespace {
using fastmath::V4f;

// Four arguments at a time through f; each result against the argument's
// exact value (in long double) rounded once to float.
template <typename Fn, typename Exact>
void ExpectCorrectlyRounded(const float* pfArgs, size_t n, Fn f, Exact exact, const char* pszName)
{
	size_t nWrong = 0;
	for (size_t i = 0; i + 4 <= n; i += 4)
	{
		V4f x;
		std::memcpy(&x, pfArgs + i, sizeof x);
		const V4f y = f(x);
		for (int j = 0; j < 4; ++j)
		{
			const float fExpected = static_cast<float>(exact(static_cast<long double>(x[j])));
			if (y[j] != fExpected && ++nWrong <= 5)
				ADD_FAILURE() << pszName << "(" << x[j] << ") = " << y[j] << ", not " << fExpected;
		}
	}
	EXPECT_EQ(nWrong, 0u) << pszName;
}
} // namespace

TEST(FastMath, Log10IsCorrectlyRoundedOverTheDetectorsRange)
{
	// Every 61st float from 2^-43 to 2^21 (the detector's means lie between
	// 2^-42 and 2^20), and the powers of two and ten themselves.
	std::vector<float> args;
	for (uint32_t u = 0x2a000000u; u < 0x4a000000u; u += 61)
	{
		float f;
		std::memcpy(&f, &u, sizeof f);
		args.push_back(f);
	}
	for (int e = -43; e <= 21; ++e)
		args.push_back(std::ldexp(1.0f, e));
	for (int e = -12; e <= 6; ++e)
		args.push_back(static_cast<float>(std::pow(10.0, e)));
	while (args.size() % 4)
		args.push_back(1.0f);
	ExpectCorrectlyRounded(args.data(), args.size(), [](V4f x) { return fastmath::Log10(x); },
	                       [](long double x) { return log10l(x); }, "Log10");

	// log10 of 1 and of exact powers of ten is exact.
	const V4f y = fastmath::Log10(V4f{1.0f, 10.0f, 100.0f, 1e-2f});
	EXPECT_EQ(y[0], 0.0f);
	EXPECT_EQ(y[1], 1.0f);
	EXPECT_EQ(y[2], 2.0f);
	EXPECT_EQ(y[3], -2.0f);
}

TEST(FastMath, Exp2IsCorrectlyRoundedAndSaturatesAtTheFloatRange)
{
	std::mt19937 rng(11);
	std::uniform_real_distribution<float> wide(-160.0f, 130.0f), narrow(-1.0f, 1.0f);
	std::vector<float> args;
	for (int i = 0; i < 1000000; ++i)
		args.push_back(i % 2 ? wide(rng) : narrow(rng));
	// Halfway between integers, where the reduction's rounding turns.
	for (int n = -40; n < 40; ++n)
		for (float d : {-1e-6f, 0.0f, 1e-6f})
			args.push_back(static_cast<float>(n) + 0.5f + d);
	while (args.size() % 4)
		args.push_back(0.0f);
	ExpectCorrectlyRounded(args.data(), args.size(), [](V4f x) { return fastmath::Exp2(x); },
	                       [](long double x) { return exp2l(x); }, "Exp2");

	const V4f y = fastmath::Exp2(V4f{0.0f, 10.0f, -1000.0f, 1000.0f});
	EXPECT_EQ(y[0], 1.0f);
	EXPECT_EQ(y[1], 1024.0f);
	EXPECT_EQ(y[2], 0.0f);
	EXPECT_EQ(y[3], INFINITY);
	// The smallest subnormal float, and the largest power of two.
	const V4f z = fastmath::Exp2(V4f{-149.0f, 127.0f, -126.0f, 0.5f});
	EXPECT_EQ(z[0], std::ldexp(1.0f, -149));
	EXPECT_EQ(z[1], std::ldexp(1.0f, 127));
	EXPECT_EQ(z[2], std::ldexp(1.0f, -126));
	EXPECT_EQ(z[3], static_cast<float>(std::sqrt(2.0)));
}
