#pragma once
#include "cview.h"

#include <functional>
#include <string>

namespace brontal::gui {

// The widget layer's one typeface: fixed cells of the printable ASCII
// characters as ink coverage (resource/font/mono11.bmp, drawn by
// tools/gen_font.py), so text needs no font engine and takes any ink.
class CFont
{
public:
	static constexpr int kCellWidth = 7;
	static constexpr int kCellHeight = 14;

	static const CFont& standard();

	// Cells `text` takes: one per character, a UTF-8 sequence counting once.
	static int lengthOf(const std::string& text);
	// Draws from `origin` (the first cell's top left) in `ink`, as many cells
	// as fit in iMaxWidth pixels. Characters outside printable ASCII show as
	// '?'; text cut short ends in "..".
	void draw(CDrawContext& context, CPoint origin, const std::string& text, const CColor& ink, int iMaxWidth) const;

private:
	explicit CFont(CBitmap atlas) : m_atlas(std::move(atlas)) {}

	CBitmap m_atlas;
};

// One line of text in one ink, on a colour of its own or on whatever lies
// beneath; a click calls back with the half it landed in (-1 left, +1 right).
class CTextLabel : public CView
{
public:
	enum class Align
	{
		Left,
		Centre,
	};
	struct Style
	{
		CColor ink;
		bool bFilled = false;
		CColor background;
		Align align = Align::Left;
	};

	CTextLabel(const CRect& size, const Style& style, std::string text = {}, std::function<void(int)> onClick = {});

	void setText(const std::string& text);
	const std::string& getText() const { return m_text; }
	void setInk(const CColor& ink);

	void draw(CDrawContext& context) override;
	CMouseEventResult onMouseDown(CPoint where, uint32_t buttons) override;

private:
	Style m_style;
	std::string m_text;
	std::function<void(int)> m_clicked;
};

} // namespace brontal::gui
