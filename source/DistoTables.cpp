#include "DistoTables.h"

#include "brontalassert.h"
#include "brontaldata.h"

#include <cmath>

namespace disto {
namespace {
// Mix weights of the four shapers.
const double kShaperWeights[4] = {0.47000003f, 0.3334f, 0.31313998f, 0.411f};

// The soft clipper's slope at 0.
constexpr double kSoftSlope = 25.0;

const float* TableData(brontal::Blob blob, int iEntries)
{
	BRONTAL_ASSERT(blob.size == sizeof(float) * static_cast<size_t>(iEntries), "0", "DistoTables");
	return reinterpret_cast<const float*>(blob.data);
}

// Entry i of the finest table lies at 10^(6i/kLast - 6).
double EntryAmplitude(int i)
{
	return std::pow(10.0, 6.0 * i / kLast - 6.0);
}
} // namespace

// Each half-wave's pieces (positive first): the values at their starts from
// the tables, the slopes reaching the next piece, the antiderivatives
// accumulated from 0.
const PieceTable& Pieces()
{
	static const PieceTable table = [] {
		namespace data = brontal::data;
		struct Table
		{
			const float* pfPos;
			const float* pfNeg;
			int iLast;
		};
		const Table tables[4] = {
			{TableData(data::afShape1_Pos(), 2401), TableData(data::afShape1_Neg(), 2401), 2400},
			{TableData(data::afShape2(), 6001), TableData(data::afShape2(), 6001), 6000},
			{TableData(data::afShape3(), 6001), TableData(data::afShape3(), 6001), 6000},
			{TableData(data::afShape4_Pos(), 24001), TableData(data::afShape4_Neg(), 24001), 24000},
		};
		PieceTable t{std::vector<Piece>(2 * kPieces), std::vector<double>(2 * kPieces)};
		for (int iHalf = 0; iHalf < 2; ++iHalf)
		{
			Piece* p = &t.pieces[static_cast<size_t>(iHalf * kPieces)];
			double* u = &t.starts[static_cast<size_t>(iHalf * kPieces)];
			for (int k = 1; k < kPieces; ++k)
			{
				// The four tables' weighted sum at the piece's first entry.
				const int iEntry = (k - 1) * kEntriesPerPiece;
				double dShaper = 0.0;
				for (int i = 0; i < 4; ++i)
				{
					const Table& tb = tables[i];
					const float* pf = iHalf == 0 ? tb.pfPos : tb.pfNeg;
					const int iStep = kLast / tb.iLast, j = iEntry / iStep;
					const double f = static_cast<double>(iEntry - j * iStep) / iStep;
					dShaper += kShaperWeights[i] * (f > 0.0 ? (1.0 - f) * pf[j] + f * pf[j + 1] : pf[j]);
				}
				u[k] = EntryAmplitude(iEntry);
				p[k].ph[kShaperLane] = 0.5 * dShaper;
				p[k].ph[kSoftLane] = -0.5 * std::expm1(-kSoftSlope * u[k]);
			}
			// Below entry 0 the shaper holds entry 0's value and the soft
			// clipper rises in a line from 0.
			u[0] = 0.0;
			p[0].ph[kShaperLane] = p[1].ph[kShaperLane];
			p[0].ph[kSoftLane] = 0.0;
			for (int iLane = 0; iLane < 2; ++iLane)
			{
				p[0].C1[iLane] = p[0].C2[iLane] = 0.0;
				for (int k = 0; k < kPieces; ++k)
				{
					const bool bLast = k + 1 == kPieces;
					const double w = bLast ? 0.0 : u[k + 1] - u[k];
					const double ph = p[k].ph[iLane];
					const double m6 = bLast || (k == 0 && iLane == kShaperLane) ? 0.0 : (p[k + 1].ph[iLane] - ph) / (3.0 * w);
					p[k].m6[iLane] = m6;
					if (!bLast)
					{
						const PiecePolynomial<double> piece = LaneOf(p[k], iLane);
						p[k + 1].C1[iLane] = piece.F1(w);
						p[k + 1].C2[iLane] = piece.F2(w);
					}
				}
			}
		}
		return t;
	}();
	return table;
}

float LevelIndex(float fDriven)
{
	const float fAbs = std::fabs(fDriven);
	if (!(fAbs > 0.0f))
		return 0.0f;
	return LevelIndices(simd::V4f{} + fAbs)[0];
}

} // namespace disto
