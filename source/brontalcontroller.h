#pragma once

#include "brontalmidilearn.h"
#include "editorcabinet.h"
#include "editorparameters.h"
#include "irstate.h"
#include "midimap.h"
#include "programs.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "pluginterfaces/vst/ivstmidilearn.h"
#include "public.sdk/source/vst/vsteditcontroller.h"

#include <string>
#include <vector>

class BrontalEditorView;

namespace Steinberg {
namespace Vst {

// Publishes the parameters, mirrors the processor's state, keeps its own,
// forwards every parameter value to the open editors, and maps the player's
// MIDI controllers to parameters.
class BrontalController : public EditControllerEx1,
                          public IMidiMapping,
                          public IMidiLearn,
                          public brontal::IMidiLearnControl,
                          public brontal::IEditorParameters,
                          public brontal::IEditorCabinet
{
public:
	BrontalController() = default;

	static FUnknown* createInstance(void* /*context*/)
	{
		return static_cast<IEditController*>(new BrontalController);
	}

	tresult PLUGIN_API initialize(FUnknown* context) SMTG_OVERRIDE;
	tresult PLUGIN_API terminate() SMTG_OVERRIDE;
	tresult PLUGIN_API setComponentState(IBStream* state) SMTG_OVERRIDE;
	tresult PLUGIN_API setState(IBStream* state) SMTG_OVERRIDE;
	tresult PLUGIN_API getState(IBStream* state) SMTG_OVERRIDE;
	tresult PLUGIN_API getParameterInfo(int32 paramIndex, ParameterInfo& info) SMTG_OVERRIDE;
	tresult PLUGIN_API setParamNormalized(ParamID tag, ParamValue value) SMTG_OVERRIDE;
	IPlugView* PLUGIN_API createView(FIDString name) SMTG_OVERRIDE;
	tresult receiveText(const char8* text) SMTG_OVERRIDE;

	void editorAttached(EditorView* editor) SMTG_OVERRIDE;
	void editorRemoved(EditorView* editor) SMTG_OVERRIDE;

	// What the editor reads and writes: the parameters, edits to the host.
	double editorValue(int iId) const override;
	bool editorDefault(int iId, double& dDefault) const override;
	void editorBegin(int iId) override;
	void editorChange(int iId, double dValue) override;
	void editorEnd(int iId) override;
	std::vector<std::string> editorPrograms() const override;

	// The cabinet: files read here and sent to the processor as a message.
	brontal::CabinetInUse cabinetInUse() const override { return m_cabinet; }
	void cabinetLoad(const std::string& sPath) override;
	void cabinetStep(int iStep) override;
	void cabinetBuiltIn() override;
	void cabinetTrouble(const std::string& sMessage) override;

	//---IMidiMapping---
	tresult PLUGIN_API getMidiControllerAssignment(int32 busIndex, int16 channel, CtrlNumber midiControllerNumber,
	                                               ParamID& id) SMTG_OVERRIDE;
	//---IMidiLearn---
	tresult PLUGIN_API onLiveMIDIControllerInput(int32 busIndex, int16 channel, CtrlNumber midiCC) SMTG_OVERRIDE;
	//---IMidiLearnControl---
	tresult PLUGIN_API learn(ParamID id) SMTG_OVERRIDE;
	ParamID PLUGIN_API getLearning() SMTG_OVERRIDE { return static_cast<ParamID>(m_iLearning); }
	tresult PLUGIN_API assign(ParamID id, int32 controller, int32 channel, TBool toggles) SMTG_OVERRIDE;
	tresult PLUGIN_API forget(ParamID id) SMTG_OVERRIDE;
	tresult PLUGIN_API getAssignment(ParamID id, int32& controller, int32& channel, TBool& toggles) SMTG_OVERRIDE;
	tresult PLUGIN_API setProjectMappings(TBool own) SMTG_OVERRIDE;
	TBool PLUGIN_API hasProjectMappings() SMTG_OVERRIDE { return m_bProjectMappings; }
	// The last trouble with the mappings file, for the editor to show; empty
	// when there was none.
	const std::string& MidiMessage() const { return m_sMidiMessage; }

	OBJ_METHODS(BrontalController, EditControllerEx1)
	DEFINE_INTERFACES
		DEF_INTERFACE(IMidiMapping)
		DEF_INTERFACE(IMidiLearn)
		DEF_INTERFACE(brontal::IMidiLearnControl)
		DEF_INTERFACE(IUnitInfo)
	END_DEFINE_INTERFACES(EditControllerEx1)
	REFCOUNT_METHODS(EditControllerEx1)

private:
	tresult applyState(IBStream* state, bool bOwnState);
	// After a change of the mappings: saved where they belong, the host told
	// to ask again, the editors redrawn.
	void mappingsChanged();
	void loadPlayerMappings();
	void reportMidiTrouble(const std::string& sMessage);
	void notifyViews(const char* szMessage);
	// The program list and its parameter, from the table's row.
	void addPrograms(const ParamDef& def);
	// Sends the processor a response's chunk payload, or none for the
	// built-in cabinet; false when it is not listening.
	bool sendCabinet(const std::vector<unsigned char>* pPayload);
	void showCabinet(const brontal::LoadedIr* pIr);

	brontal::CPrograms m_programs;
	brontal::CMidiMap m_midiMap;
	int m_iLearning = 0;
	bool m_bProjectMappings = false;
	std::string m_sMidiMessage;
	brontal::CabinetInUse m_cabinet;
	// The file last picked, loaded or not: where previous and next step from.
	std::string m_sCabinetPath;

	std::vector<BrontalEditorView*> m_aViews;
};

} // namespace Vst
} // namespace Steinberg
