#include "brontalcontroller.h"

#include "brontalassert.h"
#include "brontaleditorview.h"
#include "brontalparams.h"
#include "brontalstatestream.h"

#include <algorithm>
#include <cstring>

namespace Steinberg {
namespace Vst {
namespace {
constexpr UnitID kUnitId = 1;

static_assert(ParamFlags::kCanAutomate == ParameterInfo::kCanAutomate &&
                  ParamFlags::kIsReadOnly == ParameterInfo::kIsReadOnly &&
                  ParamFlags::kIsBypass == ParameterInfo::kIsBypass,
              "the table's flags are the SDK's");
} // namespace

tresult PLUGIN_API BrontalController::initialize(FUnknown* context)
{
	const tresult result = EditControllerEx1::initialize(context);
	if (result != kResultOk)
		return result;

	addUnit(new Unit(STR16("Unit1"), kUnitId, kRootUnitId, kNoProgramListId));
	for (const ParamDef& def : kParams)
	{
		const ParamValue dDefault = def.fDefault;
		const auto* szTitle = reinterpret_cast<const TChar*>(def.wszTitle);
		if (!parameters.addParameter(szTitle, nullptr, def.iStepCount, dDefault, def.iFlags, static_cast<ParamID>(def.iId),
		                             kRootUnitId))
			BRONTAL_ASSERT(false, "0", "source/brontalcontroller");
		setParamNormalized(static_cast<ParamID>(def.iId), dDefault);
	}
	return kResultOk;
}

tresult PLUGIN_API BrontalController::terminate()
{
	m_aViews.clear();
	return EditControllerEx1::terminate();
}

tresult BrontalController::applyState(IBStream* state)
{
	brontal::StateBytes bytes;
	brontal::ParsedState parsed;
	if (!brontal::ReadStateStream(state, bytes) || !brontal::ParseState(bytes.data(), bytes.size(), parsed))
		return kResultFalse;
	for (const ParamDef& def : kParams)
	{
		float fValue;
		if (brontal::IsSaved(def) && brontal::SanitiseParamValue(parsed.afValues[def.iId], fValue) &&
		    setParamNormalized(static_cast<ParamID>(def.iId), fValue) != kResultOk)
			return kResultFalse;
	}
	return kResultOk;
}

tresult PLUGIN_API BrontalController::setComponentState(IBStream* state)
{
	if (!state)
		return kResultOk;
	return applyState(state);
}

tresult PLUGIN_API BrontalController::setState(IBStream* state)
{
	if (!state)
		return kResultOk;
	if (applyState(state) != kResultOk)
		return kResultFalse;
	for (BrontalEditorView* pView : m_aViews)
		if (pView)
			pView->notify(nullptr, "Force Refresh");
	return kResultOk;
}

tresult PLUGIN_API BrontalController::getState(IBStream* state)
{
	brontal::StateValues afValues = {};
	for (const ParamDef& def : kParams)
	{
		if (!brontal::IsSaved(def))
			continue;
		Parameter* pParameter = getParameterObject(static_cast<ParamID>(def.iId));
		if (!pParameter)
		{
			BRONTAL_ASSERT(false, "0", "source/brontalcontroller");
			continue;
		}
		afValues[def.iId] = static_cast<float>(pParameter->getNormalized());
	}
	return brontal::WriteStateStream(state, brontal::SerialiseState(afValues)) ? kResultOk : kResultFalse;
}

tresult PLUGIN_API BrontalController::getParameterInfo(int32 paramIndex, ParameterInfo& info)
{
	// The container's lookup by index throws past its end; a host asking for
	// an index it should not gets a plain refusal instead.
	if (paramIndex < 0 || paramIndex >= parameters.getParameterCount())
		return kInvalidArgument;
	return EditControllerEx1::getParameterInfo(paramIndex, info);
}

tresult PLUGIN_API BrontalController::setParamNormalized(ParamID tag, ParamValue value)
{
	// A NaN would stick in the parameter and reach the views; leave the old value.
	if (value != value)
		return kResultFalse;
	const tresult result = EditControllerEx1::setParamNormalized(tag, value);
	for (BrontalEditorView* pView : m_aViews)
		if (pView)
			pView->updateParameter(tag, value);
	return result;
}

IPlugView* PLUGIN_API BrontalController::createView(FIDString name)
{
	if (!name || std::strcmp(name, ViewType::kEditor) != 0)
		return nullptr;
	return new BrontalEditorView(this, *this);
}

double BrontalController::editorValue(int iId) const
{
	return const_cast<BrontalController*>(this)->getParamNormalized(ParamID(iId));
}

bool BrontalController::editorDefault(int iId, double& dDefault) const
{
	const Parameter* pParameter = const_cast<BrontalController*>(this)->getParameterObject(ParamID(iId));
	if (!pParameter)
		return false;
	dDefault = pParameter->getInfo().defaultNormalizedValue;
	return true;
}

void BrontalController::editorBegin(int iId)
{
	beginEdit(ParamID(iId));
}

void BrontalController::editorChange(int iId, double dValue)
{
	setParamNormalized(ParamID(iId), dValue);
	performEdit(ParamID(iId), dValue);
}

void BrontalController::editorEnd(int iId)
{
	endEdit(ParamID(iId));
}

tresult BrontalController::receiveText(const char8* /*text*/)
{
	return kResultOk;
}

void BrontalController::editorAttached(EditorView* editor)
{
	if (auto* pView = dynamic_cast<BrontalEditorView*>(editor))
		m_aViews.push_back(pView);
}

void BrontalController::editorRemoved(EditorView* editor)
{
	auto* pView = dynamic_cast<BrontalEditorView*>(editor);
	const auto it = std::find(m_aViews.begin(), m_aViews.end(), pView);
	if (pView && it != m_aViews.end())
		m_aViews.erase(it);
}

tresult PLUGIN_API BrontalController::getMidiControllerAssignment(int32 /*busIndex*/, int16 /*channel*/,
                                                                  CtrlNumber /*midiControllerNumber*/,
                                                                  ParamID& /*id*/)
{
	// No parameter is a natural target for any MIDI controller (there is no
	// output volume), and claiming one without naming it misleads hosts.
	return kResultFalse;
}

} // namespace Vst
} // namespace Steinberg
