#include "brontaleditorview.h"

#include "brontalparams.h"
#include "editorresources.h"

#include <cstring>

using namespace Steinberg;
using namespace Steinberg::Vst;
using namespace brontal::gui;

namespace {

enum class Kind
{
	OnOff,
	Knob,
	Meter,
	Led,
	Kick
};

struct ControlLayout
{
	int32 iTag;
	Kind kind;
	int iBitmap;
	// The meters' off image; 0 for the other controls.
	int iOffBitmap;
	int iFrames;
	int x;
	int y;
};

constexpr ControlLayout kLayout[] = {
	{kInputSelection, Kind::OnOff, 112, 0, 2, 482, 209},
	{kGateCompOnOff, Kind::OnOff, 107, 0, 2, 88, 310},
	{kCompressorLevel, Kind::Knob, 115, 0, 16, 148, 251},
	{kDistortionOnOff, Kind::OnOff, 108, 0, 2, 263, 310},
	{kDistortionLevel, Kind::Knob, 116, 0, 16, 308, 251},
	{kStereoEnhancerOnOff, Kind::OnOff, 113, 0, 2, 543, 209},
	{kDelayOnOff, Kind::OnOff, 110, 0, 2, 600, 310},
	{kModulationOnOff, Kind::OnOff, 109, 0, 2, 431, 310},
	{kChorusSpeed, Kind::Knob, 117, 0, 16, 471, 251},
	{kReverbOnOff, Kind::OnOff, 111, 0, 2, 765, 310},
	{kDelayLevel, Kind::Knob, 118, 0, 16, 631, 251},
	{kReverbLevel, Kind::Knob, 114, 0, 16, 789, 251},
	{kOutputLeftVumeter, Kind::Meter, 120, 119, 1, 610, 194},
	{kOutputRightVumeter, Kind::Meter, 122, 121, 1, 610, 222},
	{kInputClippingLed, Kind::Led, 106, 0, 2, 121, 279},
	{kOutputClippingLed, Kind::Led, 104, 0, 2, 872, 283},
	{kCompressionLed, Kind::Led, 105, 0, 2, 230, 284},
	{kButton1, Kind::Kick, 152, 0, 1, 968, 0},
};

// Host hit-testing order: the About button comes before the distortion row.
constexpr int32 kFindOrder[] = {1, 2, 3, 18, 4, 5, 6, 7, 8, 9, 10, 11, 12};

constexpr int32 kMinWidth = kEditorWidth;
constexpr int32 kMaxWidth = kEditorWidth + 50;
constexpr int32 kMinHeight = kEditorHeight;
constexpr int32 kMaxHeight = kEditorHeight + 50;

constexpr const char* kMsgForceRefresh = "Force Refresh";

} // namespace

BrontalEditorView::BrontalEditorView(EditController* pController) : VSTGUIEditor(pController)
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
	return iTag >= kInputSelection && iTag <= kReverbLevel;
}

bool BrontalEditorView::open(void* parent)
{
	if (frame)
		return false;
	frame = std::make_unique<CFrame>(CRect::fromSize(0, 0, kEditorWidth, kEditorHeight));
	frame->setBackgroundColor({127, 127, 127, 255});
	m_pBackground = brontal::loadEditorBitmap(150);
	frame->setBackground(m_pBackground);

	for (const ControlLayout& layout : kLayout)
	{
		SharedBitmap pBitmap = brontal::loadEditorBitmap(layout.iBitmap);
		const CRect size =
		    CRect::fromSize(layout.x, layout.y, pBitmap->getWidth(), pBitmap->getHeight() / layout.iFrames);
		CControl* pControl = nullptr;
		switch (layout.kind)
		{
			case Kind::OnOff:
				pControl = frame->addView(std::make_unique<COnOffButton>(size, this, layout.iTag, pBitmap));
				break;
			case Kind::Knob:
				pControl = frame->addView(
				    std::make_unique<CAnimKnob>(size, this, layout.iTag, layout.iFrames, pBitmap));
				break;
			case Kind::Meter:
			{
				auto* pMeter = frame->addView(std::make_unique<CVuMeter>(
				    size, pBitmap, brontal::loadEditorBitmap(layout.iOffBitmap), kVuMeterLeds));
				(layout.iTag == kOutputLeftVumeter ? m_pLeftMeter : m_pRightMeter) = pMeter;
				pControl = pMeter;
				break;
			}
			case Kind::Led:
				pControl = frame->addView(
				    std::make_unique<CMovieBitmap>(size, this, layout.iTag, layout.iFrames, pBitmap));
				break;
			case Kind::Kick:
				pControl = frame->addView(std::make_unique<CKickButton>(size, this, layout.iTag, pBitmap));
				break;
		}
		if (Parameter* pParameter = controller->getParameterObject(ParamID(layout.iTag)))
			pControl->setDefaultValue(float(pParameter->getInfo().defaultNormalizedValue));
		m_apControls[layout.iTag] = pControl;
	}

	for (int32 iTag = kFirstParam; iTag <= kLastParam; ++iTag)
		updateParameter(ParamID(iTag), controller->getParamNormalized(ParamID(iTag)));

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
	frame.reset();
	m_pBackground.reset();
	std::fill(std::begin(m_apControls), std::end(m_apControls), nullptr);
	m_pLeftMeter = nullptr;
	m_pRightMeter = nullptr;
}

void BrontalEditorView::updateParameter(ParamID tag, ParamValue value)
{
	const float fValue = float(value);
	switch (tag)
	{
		case kOutputLeftVumeter: m_fLastVumeterLeft = fValue; return;
		case kOutputRightVumeter: m_fLastVumeterRight = fValue; return;
		case kInputClippingLed: m_fLastInputClip = fValue; return;
		case kOutputClippingLed: m_fLastOutputClip = fValue; return;
		case kCompressionLed: m_fLastCompression = fValue; return;
		default: break;
	}
	if (tag >= kInputSelection && tag <= kReverbLevel && m_apControls[tag])
		m_apControls[tag]->setValue(fValue);
}

CMessageResult BrontalEditorView::notify(CBaseObject* sender, const char* message)
{
	if (message && std::strcmp(message, kMsgTimer) == 0)
	{
		const auto curve = [](float v) { return 1.f - (v - 1.f) * (v - 1.f); };
		if (m_pLeftMeter)
		{
			m_pLeftMeter->setValue(curve(m_fLastVumeterLeft));
			m_fLastVumeterLeft = 0.f;
		}
		if (m_pRightMeter)
		{
			m_pRightMeter->setValue(curve(m_fLastVumeterRight));
			m_fLastVumeterRight = 0.f;
		}
		const std::pair<int, float> aLeds[] = {
		    {kInputClippingLed, m_fLastInputClip},
		    {kOutputClippingLed, m_fLastOutputClip},
		    {kCompressionLed, m_fLastCompression},
		};
		for (const auto& led : aLeds)
			if (m_apControls[led.first])
				m_apControls[led.first]->setValue(led.second);
	}
	else if (message && std::strcmp(message, kMsgForceRefresh) == 0 && frame)
	{
		frame->invalid();
		frame->idle();
	}
	return VSTGUIEditor::notify(sender, message);
}

void BrontalEditorView::valueChanged(CControl* pControl)
{
	const int32 iTag = pControl->getTag();
	const ParamValue value = pControl->getValue();
	if (isEditable(iTag))
	{
		controller->setParamNormalized(ParamID(iTag), value);
		controller->performEdit(ParamID(iTag), value);
	}
	else if (iTag == kButton1 && value == 1.0)
		openAboutDialog();
}

void BrontalEditorView::controlBeginEdit(CControl* pControl)
{
	if (isEditable(pControl->getTag()))
		controller->beginEdit(ParamID(pControl->getTag()));
}

void BrontalEditorView::controlEndEdit(CControl* pControl)
{
	if (isEditable(pControl->getTag()))
		controller->endEdit(ParamID(pControl->getTag()));
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
	for (int32 iTag : kFindOrder)
		if (m_apControls[iTag] && m_apControls[iTag]->hitTest({xPos, yPos}))
		{
			resultTag = ParamID(iTag);
			return kResultOk;
		}
	return kResultFalse;
}

tresult PLUGIN_API BrontalEditorView::executeMenuItem(int32 tag)
{
	return tag == 1234 ? kResultOk : kResultFalse;
}
