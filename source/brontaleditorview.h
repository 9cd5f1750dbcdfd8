#pragma once
#include "aboutdialog.h"
#include "brontalparams.h"
#include "editorcabinet.h"
#include "editorparameters.h"
#include "sdkgap/vstguieditor.h"
#include "widgets/cmenu.h"
#include "widgets/controls.h"
#include "widgets/ctext.h"

#include "pluginterfaces/vst/ivstcontextmenu.h"
#include "pluginterfaces/vst/ivstplugview.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

constexpr Steinberg::int32 kEditorWidth = 1024;
constexpr Steinberg::int32 kEditorHeight = 768;
constexpr Steinberg::int32 kIdleRateMs = 50;
constexpr int kVuMeterLeds = 26;

// The plug-in window: a bitmap pedalboard whose controls show and edit the
// parameters, with output meters and LEDs fed by the processor's reports.
class BrontalEditorView : public Steinberg::Vst::VSTGUIEditor,
                          public brontal::gui::CControlListener,
                          public Steinberg::Vst::IParameterFinder,
                          public Steinberg::Vst::IContextMenuTarget
{
public:
	// pController may be null (a view outside a VST 3 host), and pCabinet
	// (the section then shows the built-in cabinet); both outlive the view.
	BrontalEditorView(Steinberg::Vst::EditController* pController, brontal::IEditorParameters& parameters,
	                  brontal::IEditorCabinet* pCabinet = nullptr);
	~BrontalEditorView() override;

	bool open(void* parent) override;
	void close() override;

	// A value from the controller: moves a panel control or keeps a meter or
	// LED level for the next tick.
	void updateParameter(Steinberg::Vst::ParamID tag, Steinberg::Vst::ParamValue value);

	// The timer tick, and "Force Refresh" from the controller.
	Steinberg::Vst::CMessageResult notify(Steinberg::Vst::CBaseObject* sender, const char* message) override;

	void valueChanged(brontal::gui::CControl* pControl) override;
	void controlBeginEdit(brontal::gui::CControl* pControl) override;
	void controlEndEdit(brontal::gui::CControl* pControl) override;
	// MIDI learn: listens for a controller (and offers the mapping by hand in
	// a menu), or clears the control's mapping.
	void controlContextClicked(brontal::gui::CControl* pControl) override;

	Steinberg::tresult PLUGIN_API checkSizeConstraint(Steinberg::ViewRect* pRect) SMTG_OVERRIDE;
	Steinberg::tresult PLUGIN_API findParameter(Steinberg::int32 xPos, Steinberg::int32 yPos,
	                                            Steinberg::Vst::ParamID& resultTag) SMTG_OVERRIDE;
	Steinberg::tresult PLUGIN_API executeMenuItem(Steinberg::int32 tag) SMTG_OVERRIDE;

	DEFINE_INTERFACES
		DEF_INTERFACE(Steinberg::Vst::IParameterFinder)
		DEF_INTERFACE(Steinberg::Vst::IContextMenuTarget)
		DEF_INTERFACE(Steinberg::IPlugView)
	END_DEFINE_INTERFACES(VSTGUIEditor)
	REFCOUNT_METHODS(VSTGUIEditor)

private:
	// Tags that the host may edit: reported with begin/perform/end edits.
	static bool isEditable(Steinberg::int32 iTag);
	void openAboutDialog();
	float lastIndicator(int iTag) const;
	// Outlines the control that listens for a MIDI controller, and no other.
	void showLearning();
	// The cabinet's section: its buttons, and what it shows.
	void addCabinetSection();
	void showCabinet();
	void cabinetButton(int iButton);
	void loadDropped(const std::vector<std::string>& aPaths);
	void pollFileDialog();

	// The preset bar: -1 and +1 step (round the list), 0 lists them all.
	void programBarPressed(int iStep);
	int currentProgram() const;
	// As a host changes the program: one edit of the program parameter.
	void chooseProgram(int iProgram);
	// A menu of the view's; one for parameter id while it listens for a
	// controller closes when the listening ends (0: no such parameter).
	void popup(Steinberg::Vst::ParamID id, brontal::gui::CPoint anchor, std::vector<brontal::gui::CMenuItem> items,
	           std::function<void(int)> onChoose);

	// The menu of a control's mapping by hand, beside it; reopened after
	// each choice but Forget, so that CC, channel and mode follow each other.
	void openMidiMenu(Steinberg::Vst::ParamID id);
	void openNumberMenu(Steinberg::Vst::ParamID id, bool bChannel);
	// Maps id with what the menu changed, the rest kept (kKeep) as it is (for
	// a new mapping: any channel, a switch in the mode it would be learned in).
	void assignByHand(Steinberg::Vst::ParamID id, int iController, int iChannel, int iToggles);

	brontal::IEditorParameters& m_parameters;
	brontal::IEditorCabinet* m_pCabinet;
	brontal::gui::CTextLabel* m_pCabinetName = nullptr;
	brontal::gui::CTextLabel* m_pCabinetMessage = nullptr;
	std::unique_ptr<brontal::gui::IPlatformFileDialog> m_pFileDialog;
	brontal::gui::SharedBitmap m_pBackground;
	// Controls by tag (none for the delimiters and the bypass); the frame owns them.
	brontal::gui::CControl* m_apControls[kNumParams] = {};
	std::unique_ptr<brontal::AboutDialog> m_pAboutDialog;
	// The tuner's face, which follows the switch and the readings.
	brontal::gui::CTunerDisplay* m_pTuner = nullptr;
	brontal::gui::CProgramBar* m_pProgramBar = nullptr;
	std::vector<std::string> m_asPrograms;
	// The mapping menu open for a control that listened when it opened: a
	// controller learned closes it. Only ever compared, never followed.
	const brontal::gui::CPopupMenu* m_pLearnMenu = nullptr;
	Steinberg::Vst::ParamID m_learnMenuParam = 0;

	// The indicators' last reports, in the order of kIndicatorIds.
	float m_afLastIndicators[kNumIndicators] = {};
};
