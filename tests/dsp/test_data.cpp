// The embedded shaping tables and cabinet responses, read through the same
// accessors the plug-in uses, against their stated figures.
#include "brontaldata.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {
std::vector<float> Floats(brontal::Blob blob)
{
	std::vector<float> v(blob.size / sizeof(float));
	std::copy_n(reinterpret_cast<const float*>(blob.data), v.size(), v.begin());
	return v;
}

struct Table
{
	const char* szName;
	std::vector<float> values;
	float fMax;          // stated maximum, 0 when not stated
	double dHalfMaxDb;   // level where half the maximum is first reached
	double dMaxNearDb;   // level of the maximum, when stated
};

std::vector<Table> Tables()
{
	namespace d = brontal::data;
	return {{"afShape1_Pos", Floats(d::afShape1_Pos()), 0.789f, NAN, -38.0},
	        {"afShape1_Neg", Floats(d::afShape1_Neg()), 0.924f, NAN, -25.0},
	        {"afShape2", Floats(d::afShape2()), 0.912f, -27.0, NAN},
	        {"afShape3", Floats(d::afShape3()), 0.478f, -47.0, NAN},
	        {"afShape4_Pos", Floats(d::afShape4_Pos()), 0.673f, -51.0, NAN},
	        {"afShape4_Neg", Floats(d::afShape4_Neg()), 0.767f, -49.0, NAN}};
}

double LevelOf(const Table& t, size_t i)
{
	return -120.0 + 120.0 * static_cast<double>(i) / static_cast<double>(t.values.size() - 1);
}

size_t IndexOf(const Table& t, double dLevel)
{
	return static_cast<size_t>(std::lround((dLevel + 120.0) * static_cast<double>(t.values.size() - 1) / 120.0));
}
} // namespace

TEST(ShapingTables, SizesAndTellingEntriesAreExact)
{
	const std::vector<Table> tables = Tables();
	const size_t aSizes[] = {2401, 2401, 6001, 6001, 24001, 24001};
	const double adLevels[] = {-120, -100, -80, -60, -40, -20, -10, 0};
	const float aafTelling[8][6] = {
		{0, 0, 5.77401e-09f, 0.000566221f, 1.53949e-06f, 3.9894e-07f},
		{0, 0, 0.0028735f, 0.00527611f, 0.00238836f, 0.00241959f},
		{0.000718009f, 0.000714911f, 0.00527515f, 0.00830467f, 0.0135117f, 0.0135556f},
		{0.429989f, 0.428908f, 0.0121364f, 0.0642205f, 0.138849f, 0.126166f},
		{0.784974f, 0.802991f, 0.109325f, 0.314585f, 0.471104f, 0.518242f},
		{0.721918f, 0.900351f, 0.694283f, 0.440236f, 0.569856f, 0.760215f},
		{0.715563f, 0.902469f, 0.814089f, 0.465994f, 0.658489f, 0.724572f},
		{0.720168f, 0.898243f, 0.906327f, 0.474279f, 0.657017f, 0.7325f}};
	for (size_t t = 0; t < tables.size(); ++t)
	{
		SCOPED_TRACE(tables[t].szName);
		ASSERT_EQ(tables[t].values.size(), aSizes[t]);
		for (int r = 0; r < 8; ++r)
			EXPECT_EQ(tables[t].values[IndexOf(tables[t], adLevels[r])], aafTelling[r][t]) << adLevels[r] << " dB";
	}
}

TEST(ShapingTables, ShapesHoldTheirFigures)
{
	for (const Table& t : Tables())
	{
		SCOPED_TRACE(t.szName);
		const auto itMax = std::max_element(t.values.begin(), t.values.end());
		EXPECT_NEAR(*itMax, t.fMax, 0.0005f);
		for (float f : t.values)
			ASSERT_TRUE(f >= 0.0f && f <= 0.93f) << f;
		if (!std::isnan(t.dMaxNearDb))
		{
			EXPECT_NEAR(LevelOf(t, static_cast<size_t>(itMax - t.values.begin())), t.dMaxNearDb, 3.0);
		}
		if (!std::isnan(t.dHalfMaxDb))
		{
			const auto itHalf = std::find_if(t.values.begin(), t.values.end(), [&](float f) { return f >= *itMax / 2; });
			EXPECT_NEAR(LevelOf(t, static_cast<size_t>(itHalf - t.values.begin())), t.dHalfMaxDb, 1.0);
		}
		// Irregular: it turns down somewhere, yet has no spike (second
		// difference within 0.2 % of the value above -90 dB) that would whistle.
		int iFalls = 0;
		for (size_t i = 1; i + 1 < t.values.size(); ++i)
		{
			iFalls += t.values[i + 1] < t.values[i];
			if (LevelOf(t, i) > -90.0)
			{
				const double dCurve = t.values[i + 1] - 2.0 * t.values[i] + t.values[i - 1];
				ASSERT_LE(std::fabs(dCurve), 0.002 * t.values[i]) << "spike at " << LevelOf(t, i) << " dB";
			}
		}
		EXPECT_GT(iFalls, 50);
	}
}

TEST(ShapingTables, TableOneIsSilentLowAndClipsAsymmetrically)
{
	const std::vector<Table> tables = Tables();
	for (int t = 0; t < 2; ++t)
	{
		const Table& table = tables[static_cast<size_t>(t)];
		SCOPED_TRACE(table.szName);
		for (size_t i = 0; i < 425; ++i)
			ASSERT_EQ(table.values[i], 0.0f) << i;
		EXPECT_GT(table.values[425], 0.0f);
		for (size_t i = 0; i <= IndexOf(table, -80.0); ++i)
			ASSERT_LT(table.values[i], 0.001f);
		// Steep between -80 and -55 dB, flat after.
		EXPECT_GT(table.values[IndexOf(table, -55.0)], 0.55f);
		const float fPlateau = t == 0 ? 0.72f : 0.90f;
		for (size_t i = IndexOf(table, -20.0); i < table.values.size(); ++i)
			ASSERT_NEAR(table.values[i], fPlateau, 0.02f) << LevelOf(table, i);
	}
	for (float f : tables[2].values)
		ASSERT_LT(f, 0.913f);
	for (float f : tables[3].values)
		ASSERT_LT(f, 0.48f);
}

TEST(CabinetResponses, HoldEveryStatedFigure)
{
	namespace d = brontal::data;
	struct Stated
	{
		std::vector<float> h;
		size_t iEntries;
		double dMs;
		size_t iPeakAt;
		float fPeak;
		float fFirst;
		float fFirstTolerance; // half a unit in the last stated digit
		size_t iSpread99;
	};
	const Stated aStated[] = {
		{Floats(d::afBaseIR1()), 6530, 148.1, 10, 0.9997f, 0.00208f, 5e-6f, 284},
		{Floats(d::afBaseIR2()), 12431, 281.9, 244, 0.9996f, 0.0199f, 5e-5f, 1651},
		{Floats(d::afBaseIR3()), 1965, 44.6, 12, -1.0002f, 0.00422f, 5e-6f, 194},
		{Floats(d::afBaseIR4()), 774, 17.6, 1, 0.9999f, 0.518f, 5e-4f, 134},
		{Floats(d::afBaseIR5()), 700, 15.9, 1, 0.9999f, 0.435f, 5e-4f, 224},
		{Floats(d::afBaseIR6()), 951, 21.6, 2, 0.9999f, 0.197f, 5e-4f, 179},
		{Floats(d::afBaseIR7()), 5434, 123.2, 7, 0.9998f, 0.0023f, 5e-5f, 670}};
	int iResponse = 0;
	for (const Stated& s : aStated)
	{
		SCOPED_TRACE(++iResponse);
		ASSERT_EQ(s.h.size(), s.iEntries);
		EXPECT_NEAR(static_cast<double>(s.iEntries) / 44.1, s.dMs, 0.05);
		size_t iPeak = 0;
		for (size_t i = 1; i < s.h.size(); ++i)
			if (std::fabs(s.h[i]) > std::fabs(s.h[iPeak]))
				iPeak = i;
		EXPECT_EQ(iPeak, s.iPeakAt);
		EXPECT_NEAR(s.h[iPeak], s.fPeak, 5e-5f);
		EXPECT_NEAR(std::fabs(s.h[iPeak]), 1.0f, 0.0005f);
		EXPECT_NEAR(s.h[0], s.fFirst, s.fFirstTolerance);

		double dTotal = 0.0;
		for (float f : s.h)
			dTotal += static_cast<double>(f) * f;
		double dSum = 0.0;
		size_t iCount = 0;
		while (dSum < 0.99 * dTotal)
			dSum += static_cast<double>(s.h[iCount]) * s.h[iCount], ++iCount;
		EXPECT_EQ(iCount, s.iSpread99);
	}
}
