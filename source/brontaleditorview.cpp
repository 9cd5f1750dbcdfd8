#include "brontaleditorview.h"

#include "brontalmidilearn.h"
#include "brontalparams.h"
#include "cabinetpanel.h"
#include "editorresources.h"
#include "midimap.h"
#include "programs.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

// Defined with the view, which asks its controller (if any) for it: every
// module that has the view has the id, the LV2 UI included.
namespace brontal {
DEF_CLASS_IID(IMidiLearnControl)
} // namespace brontal

using namespace Steinberg;
using namespace Steinberg::Vst;
using namespace brontal::gui;

namespace {

constexpr int32 kMinWidth = kEditorWidth;
constexpr int32 kMaxWidth = kEditorWidth + 50;
constexpr int32 kMinHeight = kEditorHeight;
constexpr int32 kMaxHeight = kEditorHeight + 50;

constexpr const char* kMsgForceRefresh = "Force Refresh";
constexpr const char* kMsgMidiMappings = "MIDI Mappings";
constexpr const char* kMsgCabinet = "Cabinet";

// The cabinet's buttons, in the order of their labels.
enum CabinetButton
{
	kCabinetLoad,
	kCabinetPrevious,
	kCabinetNext,
	kCabinetBuiltIn,
};
constexpr const char* kNoCabinetHere = "This host loads a response through its plug-in settings (the cabinet file)";
constexpr CColor inkOf(unsigned uRgb)
{
	return {uint8_t(uRgb >> 16), uint8_t(uRgb >> 8), uint8_t(uRgb), 255};
}

CRect rectOf(const int (&aiRect)[4])
{
	return {aiRect[0], aiRect[1], aiRect[2], aiRect[3]};
}

// "MyCab 412  0.50 s  mono": the file's name without its extension.
std::string cabinetLine(const brontal::CabinetInUse& cabinet)
{
	if (cabinet.sName.empty())
		return "Built-in";
	std::string sName = cabinet.sName;
	const std::size_t uDot = sName.rfind('.');
	if (uDot != std::string::npos && uDot > 0)
		sName.erase(uDot);
	char szLength[48];
	std::snprintf(szLength, sizeof szLength, "  %.2f s  %s", cabinet.dSeconds, cabinet.bStereo ? "stereo" : "mono");
	return sName + szLength;
}

// A menu's gap from what opened it.
constexpr int kMenuGap = 4;
// What a by-hand mapping keeps as it is (no controller, channel or mode).
constexpr int kKeep = -100;

// The menu's items of a control's mapping, in order; those a control has not
// are left out.
enum class MidiItem
{
	Heading,
	Controller,
	Channel,
	Hold,
	Toggle,
	Forget,
	ProjectMappings,
};

std::string Ascii(const char16_t* wszText)
{
	std::string text;
	for (; wszText && *wszText; ++wszText)
		text += *wszText < 0x80 ? static_cast<char>(*wszText) : '?';
	return text;
}

} // namespace

BrontalEditorView::BrontalEditorView(EditController* pController, brontal::IEditorParameters& parameters,
                                     brontal::IEditorCabinet* pCabinet)
: VSTGUIEditor(pController), m_parameters(parameters), m_pCabinet(pCabinet)
{
	ViewRect size(0, 0, kEditorWidth, kEditorHeight);
	setRect(size);
	setIdleRate(kIdleRateMs);
}

BrontalEditorView::~BrontalEditorView()
{
	close();
}

bool BrontalEditorView::isEditable(int32 iTag)
{
	return IsParamId(iTag) && IsEditorControl(ParamDefOf(iTag));
}

bool BrontalEditorView::open(void* parent)
{
	if (frame)
		return false;
	frame = std::make_unique<CFrame>(CRect::fromSize(0, 0, kEditorWidth, kEditorHeight));
	frame->setBackgroundColor({127, 127, 127, 255});
	m_pBackground = brontal::loadEditorBitmap(150);
	frame->setBackground(m_pBackground);

	for (const ParamDef& def : kParams)
	{
		const EditorSlot& slot = def.slot;
		if (slot.widget == EditorWidget::None)
			continue;
		SharedBitmap pBitmap = brontal::loadEditorBitmap(slot.iBitmap);
		const CRect size =
		    CRect::fromSize(slot.x, slot.y, pBitmap->getWidth(), pBitmap->getHeight() / slot.iFrames);
		CControl* pControl = nullptr;
		switch (slot.widget)
		{
			case EditorWidget::Footswitch:
			case EditorWidget::Toggle:
				pControl = frame->addView(std::make_unique<COnOffButton>(size, this, def.iId, pBitmap));
				break;
			case EditorWidget::Knob:
				pControl =
				    frame->addView(std::make_unique<CAnimKnob>(size, this, def.iId, slot.iFrames, pBitmap));
				break;
			case EditorWidget::Meter:
				pControl = frame->addView(std::make_unique<CVuMeter>(
				    size, pBitmap, brontal::loadEditorBitmap(slot.iOffBitmap), kVuMeterLeds));
				break;
			case EditorWidget::Led:
				pControl =
				    frame->addView(std::make_unique<CMovieBitmap>(size, this, def.iId, slot.iFrames, pBitmap));
				break;
			case EditorWidget::Button:
				pControl = frame->addView(std::make_unique<CKickButton>(size, this, def.iId, pBitmap));
				break;
			case EditorWidget::Tuner:
				m_pTuner = frame->addView(std::make_unique<CTunerDisplay>(
				    size, this, def.iId, slot.iFrames, pBitmap, brontal::loadEditorBitmap(slot.iOffBitmap)));
				pControl = m_pTuner;
				break;
			case EditorWidget::Programs:
				// Where the program is no parameter, there is no bar.
				m_asPrograms = m_parameters.editorPrograms();
				if (!m_asPrograms.empty())
					m_pProgramBar = frame->addView(std::make_unique<CProgramBar>(
					    size, this, def.iId, pBitmap, [this](int iStep) { programBarPressed(iStep); }));
				pControl = m_pProgramBar;
				break;
			case EditorWidget::None:
				break;
		}
		if (!pControl)
			continue;
		double dDefault = 0.0;
		if (m_parameters.editorDefault(def.iId, dDefault))
			pControl->setDefaultValue(float(dDefault));
		m_apControls[def.iId] = pControl;
	}

	addCabinetSection();
	for (const ParamDef& def : kParams)
		updateParameter(ParamID(def.iId), m_parameters.editorValue(def.iId));
	showLearning();
	showCabinet();

	if (!frame->open(parent, hostContext()))
	{
		close();
		return false;
	}
	return true;
}

void BrontalEditorView::close()
{
	// The dialog lives on the frame's connection: it goes first.
	m_pAboutDialog.reset();
	m_pFileDialog.reset();
	frame.reset();
	m_pTuner = nullptr;
	m_pCabinetName = nullptr;
	m_pCabinetMessage = nullptr;
	m_pProgramBar = nullptr;
	m_pLearnMenu = nullptr;
	m_pBackground.reset();
	std::fill(std::begin(m_apControls), std::end(m_apControls), nullptr);
}

void BrontalEditorView::updateParameter(ParamID tag, ParamValue value)
{
	const float fValue = float(value);
	const auto* pIndicator = std::find(kIndicatorIds.begin(), kIndicatorIds.end(), static_cast<int>(tag));
	if (pIndicator != kIndicatorIds.end())
		m_afLastIndicators[pIndicator - kIndicatorIds.begin()] = fValue;
	else if (isEditable(int32(tag)) && m_apControls[tag])
		m_apControls[tag]->setValue(fValue);
	if (tag == kTunerOnOff && m_pTuner)
		m_pTuner->setTuning(fValue != 0.f);
	if (tag == kProgram && m_pProgramBar)
	{
		const int iProgram = brontal::ProgramIndexOf(value, m_asPrograms.size());
		m_pProgramBar->setName(iProgram < 0 ? std::string() : m_asPrograms[std::size_t(iProgram)]);
	}
}

CMessageResult BrontalEditorView::notify(CBaseObject* sender, const char* message)
{
	if (message && std::strcmp(message, kMsgTimer) == 0)
	{
		const auto curve = [](float v) { return 1.f - (v - 1.f) * (v - 1.f); };
		// A meter shows the level since the last tick and falls back; an LED
		// keeps what the processor last reported.
		for (int j = 0; j < kNumIndicators; ++j)
		{
			const int iTag = kIndicatorIds[j];
			float& fLast = m_afLastIndicators[j];
			CControl* pControl = m_apControls[iTag];
			if (!pControl)
				continue;
			if (ParamDefOf(iTag).slot.widget == EditorWidget::Meter)
			{
				pControl->setValue(curve(fLast));
				fLast = 0.f;
			}
			else
				pControl->setValue(fLast);
		}
		if (m_pTuner)
			m_pTuner->setReading(lastIndicator(kTunerNote), lastIndicator(kTunerCents), lastIndicator(kTunerHeld));
		pollFileDialog();
	}
	else if (message && std::strcmp(message, kMsgForceRefresh) == 0 && frame)
	{
		frame->invalid();
		frame->idle();
	}
	else if (message && std::strcmp(message, kMsgMidiMappings) == 0 && frame)
	{
		FUnknownPtr<brontal::IMidiLearnControl> learn(static_cast<IEditController*>(controller));
		// A pedal moved while listening: learned, and the menu has had its day.
		if (m_pLearnMenu && frame->getPopup() == m_pLearnMenu && learn &&
		    learn->getLearning() != m_learnMenuParam)
			frame->closePopup();
		showLearning();
		frame->idle();
	}
	else if (message && std::strcmp(message, kMsgCabinet) == 0 && frame)
	{
		showCabinet();
		frame->idle();
	}
	return VSTGUIEditor::notify(sender, message);
}

float BrontalEditorView::lastIndicator(int iTag) const
{
	const auto* pIndicator = std::find(kIndicatorIds.begin(), kIndicatorIds.end(), iTag);
	return m_afLastIndicators[pIndicator - kIndicatorIds.begin()];
}

void BrontalEditorView::valueChanged(CControl* pControl)
{
	const int32 iTag = pControl->getTag();
	const ParamValue value = pControl->getValue();
	if (isEditable(iTag))
	{
		m_parameters.editorChange(iTag, value);
	}
	else if (iTag == kButton1 && value == 1.0)
		openAboutDialog();
}

void BrontalEditorView::controlBeginEdit(CControl* pControl)
{
	if (isEditable(pControl->getTag()))
		m_parameters.editorBegin(pControl->getTag());
}

void BrontalEditorView::controlEndEdit(CControl* pControl)
{
	if (isEditable(pControl->getTag()))
		m_parameters.editorEnd(pControl->getTag());
}

void BrontalEditorView::controlContextClicked(CControl* pControl)
{
	const auto id = ParamID(pControl->getTag());
	FUnknownPtr<brontal::IMidiLearnControl> learn(static_cast<IEditController*>(controller));
	if (!learn || !IsMidiMappable(int(id)))
		return;
	// The second right-click undoes the first: it stops the listening, or
	// clears what was learned.
	int32 iController = 0, iChannel = 0;
	TBool bToggles = false;
	if (learn->getLearning() == id)
		learn->learn(0);
	else if (learn->getAssignment(id, iController, iChannel, bToggles) == kResultOk)
		learn->forget(id);
	else
	{
		learn->learn(id);
		openMidiMenu(id);
	}
}

void BrontalEditorView::popup(ParamID id, CPoint anchor, std::vector<CMenuItem> items,
                              std::function<void(int)> onChoose)
{
	if (!frame)
		return;
	frame->popup(std::make_unique<CPopupMenu>(frame->getViewSize(), anchor, std::move(items), std::move(onChoose)));
	FUnknownPtr<brontal::IMidiLearnControl> learn(static_cast<IEditController*>(controller));
	const bool bListening = id != 0 && learn && learn->getLearning() == id;
	m_pLearnMenu = bListening ? frame->getPopup() : nullptr;
	m_learnMenuParam = bListening ? id : 0;
}

void BrontalEditorView::openMidiMenu(ParamID id)
{
	FUnknownPtr<brontal::IMidiLearnControl> learn(static_cast<IEditController*>(controller));
	CControl* pControl = m_apControls[id];
	if (!learn || !pControl)
		return;
	int32 iController = 0, iChannel = brontal::kAnyChannel;
	TBool bToggles = false;
	const bool bMapped = learn->getAssignment(id, iController, iChannel, bToggles) == kResultOk;
	const bool bSwitch = brontal::LearnedMode(int(id)) != PedalMode::None;
	std::vector<CMenuItem> items;
	std::vector<MidiItem> kinds;
	const auto add = [&](MidiItem kind, std::string text, bool bChecked, bool bEnabled) {
		items.push_back({std::move(text), bChecked, bEnabled});
		kinds.push_back(kind);
	};
	const std::string sChannel = iChannel == brontal::kAnyChannel ? "any" : std::to_string(iChannel + 1);
	add(MidiItem::Heading, "MIDI: " + Ascii(ParamDefOf(int(id)).wszTitle), false, false);
	add(MidiItem::Controller, bMapped ? "CC " + std::to_string(iController) + " ..." : "CC ...", false, true);
	// Channel and mode belong to a mapping: there is none before its controller.
	add(MidiItem::Channel, bMapped ? "Channel " + sChannel + " ..." : "Channel ...", false, bMapped);
	if (bSwitch)
	{
		add(MidiItem::Hold, "Hold", bMapped && !bToggles, bMapped);
		add(MidiItem::Toggle, "Toggle", bMapped && bToggles, bMapped);
	}
	if (bMapped)
		add(MidiItem::Forget, "Forget", false, true);
	add(MidiItem::ProjectMappings, "Project keeps its own mappings", learn->hasProjectMappings() != 0, true);

	const CRect& size = pControl->getViewSize();
	popup(id, {size.right + kMenuGap, size.top}, std::move(items), [this, id, kinds = std::move(kinds)](int iItem) {
		FUnknownPtr<brontal::IMidiLearnControl> control(static_cast<IEditController*>(controller));
		if (!control)
			return;
		switch (kinds[std::size_t(iItem)])
		{
			case MidiItem::Controller:
				openNumberMenu(id, false);
				return;
			case MidiItem::Channel:
				openNumberMenu(id, true);
				return;
			case MidiItem::Hold:
			case MidiItem::Toggle:
				assignByHand(id, kKeep, kKeep, kinds[std::size_t(iItem)] == MidiItem::Toggle);
				break;
			case MidiItem::Forget:
				control->forget(id);
				return;
			case MidiItem::ProjectMappings:
				control->setProjectMappings(!control->hasProjectMappings());
				break;
			case MidiItem::Heading:
				return;
		}
		openMidiMenu(id);
	});
}

void BrontalEditorView::openNumberMenu(ParamID id, bool bChannel)
{
	FUnknownPtr<brontal::IMidiLearnControl> learn(static_cast<IEditController*>(controller));
	CControl* pControl = m_apControls[id];
	if (!learn || !pControl)
		return;
	int32 iController = -1, iChannel = brontal::kAnyChannel;
	TBool bToggles = false;
	const bool bMapped = learn->getAssignment(id, iController, iChannel, bToggles) == kResultOk;
	// Channels: Any, then 1 to 16 (0 to 15 underneath); controllers 0 to 127.
	std::vector<CMenuItem> items;
	if (bChannel)
	{
		items.push_back({"Any", bMapped && iChannel == brontal::kAnyChannel});
		for (int i = 0; i < brontal::kMidiChannels; ++i)
			items.push_back({std::to_string(i + 1), bMapped && iChannel == i});
	}
	else
		for (int i = 0; i < brontal::kMidiControllers; ++i)
			items.push_back({std::to_string(i), bMapped && iController == i});
	const CRect& size = pControl->getViewSize();
	popup(id, {size.right + kMenuGap, size.top}, std::move(items), [this, id, bChannel](int iItem) {
		if (bChannel)
			assignByHand(id, kKeep, iItem == 0 ? brontal::kAnyChannel : iItem - 1, kKeep);
		else
			assignByHand(id, iItem, kKeep, kKeep);
		openMidiMenu(id);
	});
}

void BrontalEditorView::assignByHand(ParamID id, int iController, int iChannel, int iToggles)
{
	FUnknownPtr<brontal::IMidiLearnControl> learn(static_cast<IEditController*>(controller));
	if (!learn)
		return;
	int32 iOldController = -1, iOldChannel = brontal::kAnyChannel;
	TBool bOldToggles = brontal::LearnedMode(int(id)) == PedalMode::Toggle;
	learn->getAssignment(id, iOldController, iOldChannel, bOldToggles);
	learn->assign(id, iController != kKeep ? iController : iOldController,
	              iChannel != kKeep ? iChannel : iOldChannel, iToggles != kKeep ? TBool(iToggles) : bOldToggles);
}

void BrontalEditorView::programBarPressed(int iStep)
{
	const int iCount = static_cast<int>(m_asPrograms.size());
	if (!m_pProgramBar || iCount == 0)
		return;
	const int iCurrent = currentProgram();
	if (iStep != 0)
	{
		// Round the list, as a foot controller's bank steps go.
		chooseProgram((iCurrent + iStep + iCount) % iCount);
		return;
	}
	std::vector<CMenuItem> items;
	for (int i = 0; i < iCount; ++i)
		items.push_back({m_asPrograms[std::size_t(i)], i == iCurrent});
	const CRect& size = m_pProgramBar->getViewSize();
	popup(0, {size.left + CProgramBar::kArrowWidth, size.bottom + kMenuGap}, std::move(items),
	      [this](int iItem) { chooseProgram(iItem); });
}

int BrontalEditorView::currentProgram() const
{
	return brontal::ProgramIndexOf(m_parameters.editorValue(kProgram), m_asPrograms.size());
}

void BrontalEditorView::chooseProgram(int iProgram)
{
	m_parameters.editorBegin(kProgram);
	m_parameters.editorChange(kProgram, brontal::ProgramValueOf(iProgram, m_asPrograms.size()));
	m_parameters.editorEnd(kProgram);
}

void BrontalEditorView::showLearning()
{
	FUnknownPtr<brontal::IMidiLearnControl> learn(static_cast<IEditController*>(controller));
	const ParamID learning = learn ? learn->getLearning() : 0;
	for (const ParamDef& def : kParams)
		if (CControl* pControl = m_apControls[def.iId])
			pControl->setHighlighted(ParamID(def.iId) == learning);
}

void BrontalEditorView::addCabinetSection()
{
	using namespace brontal::cabinetpanel;
	// Text only: the window and the buttons' caps are the panel's art.
	const CTextLabel::Style name{inkOf(kDisplayInk), false, {}, CTextLabel::Align::Left};
	const CTextLabel::Style message{inkOf(kMessageInk), false, {}, CTextLabel::Align::Left};
	const CTextLabel::Style button{inkOf(kButtonInk), false, {}, CTextLabel::Align::Centre};
	m_pCabinetName = frame->addView(
	    std::make_unique<CTextLabel>(CRect{kDisplay[0] + 6, kDisplay[1], kDisplay[2] - 6, kDisplay[3]}, name));
	m_pCabinetMessage = frame->addView(std::make_unique<CTextLabel>(rectOf(kMessage), message));
	const std::pair<const int(*)[4], const char*> aButtons[] = {
	    {&kLoad, "LOAD"}, {&kPrevious, "<"}, {&kNext, ">"}, {&kBuiltIn, "BUILT-IN"}};
	for (int i = 0; i < 4; ++i)
		frame->addView(std::make_unique<CTextLabel>(rectOf(*aButtons[i].first), button, aButtons[i].second,
		                                            [this, i](int) { cabinetButton(i); }));
	frame->setDropHandler([this](const std::vector<std::string>& aPaths) { loadDropped(aPaths); });
}

void BrontalEditorView::showCabinet()
{
	if (!m_pCabinetName)
		return;
	const brontal::CabinetInUse cabinet = m_pCabinet ? m_pCabinet->cabinetInUse() : brontal::CabinetInUse{};
	m_pCabinetName->setText(cabinetLine(cabinet));
	m_pCabinetMessage->setText(cabinet.sMessage);
}

void BrontalEditorView::cabinetButton(int iButton)
{
	if (!m_pCabinet)
	{
		m_pCabinetMessage->setText(kNoCabinetHere);
		return;
	}
	switch (iButton)
	{
		case kCabinetLoad:
			// One dialog at a time; it is asked for its answer at each tick.
			if (!m_pFileDialog)
				m_pFileDialog =
				    brontal::gui::openFileDialog(frame->getPlatformWindow(), "Load a cabinet response", "WAV files", "wav");
			break;
		case kCabinetPrevious:
		case kCabinetNext:
			m_pCabinet->cabinetStep(iButton == kCabinetPrevious ? -1 : 1);
			break;
		default:
			m_pCabinet->cabinetBuiltIn();
			break;
	}
}

void BrontalEditorView::loadDropped(const std::vector<std::string>& aPaths)
{
	if (m_pCabinet)
		m_pCabinet->cabinetLoad(aPaths.front());
	else
		m_pCabinetMessage->setText(kNoCabinetHere);
}

void BrontalEditorView::pollFileDialog()
{
	if (!m_pFileDialog || !m_pCabinet)
		return;
	std::string sAnswer;
	const auto answer = m_pFileDialog->poll(sAnswer);
	if (answer == brontal::gui::IPlatformFileDialog::Answer::Waiting)
		return;
	m_pFileDialog.reset();
	if (answer == brontal::gui::IPlatformFileDialog::Answer::Chosen)
		m_pCabinet->cabinetLoad(sAnswer);
	else if (answer == brontal::gui::IPlatformFileDialog::Answer::Failed)
		m_pCabinet->cabinetTrouble(sAnswer);
}

void BrontalEditorView::openAboutDialog()
{
	if (!frame || !frame->getPlatformWindow() || (m_pAboutDialog && m_pAboutDialog->isOpen()))
		return;
	m_pAboutDialog.reset();
	m_pAboutDialog = brontal::AboutDialog::open(*frame->getPlatformWindow(), [this] {
		if (frame)
			frame->setMouseEnabled(true);
	});
	if (m_pAboutDialog)
		frame->setMouseEnabled(false);
}

tresult PLUGIN_API BrontalEditorView::checkSizeConstraint(ViewRect* pRect)
{
	if (!pRect)
		return kInvalidArgument;
	const int32 iWidth = std::clamp(pRect->getWidth(), kMinWidth, kMaxWidth);
	const int32 iHeight = std::clamp(pRect->getHeight(), kMinHeight, kMaxHeight);
	pRect->right = pRect->left + iWidth;
	pRect->bottom = pRect->top + iHeight;
	return kResultOk;
}

tresult PLUGIN_API BrontalEditorView::findParameter(int32 xPos, int32 yPos, ParamID& resultTag)
{
	if (!frame)
		return kResultFalse;
	for (const ParamDef& def : kParams)
	{
		CControl* pControl = m_apControls[def.iId];
		// The tuner's face is not there while the tuner is off.
		if (pControl && pControl == m_pTuner && !m_pTuner->isTuning())
			continue;
		if (def.kind != ParamKind::Indicator && pControl && pControl->hitTest({xPos, yPos}))
		{
			resultTag = ParamID(def.iId);
			return kResultOk;
		}
	}
	return kResultFalse;
}

tresult PLUGIN_API BrontalEditorView::executeMenuItem(int32 tag)
{
	return tag == 1234 ? kResultOk : kResultFalse;
}
