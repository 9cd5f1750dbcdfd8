#include "brontalcontroller.h"

#include "brontalassert.h"
#include "brontaleditorview.h"
#include "brontalids.h"
#include "brontalparams.h"
#include "brontalstatestream.h"

#include "pluginterfaces/vst/ivstmessage.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <system_error>

namespace Steinberg {
namespace Vst {
namespace {
constexpr UnitID kUnitId = 1;
// The mappings a project carries: whether it keeps its own, then the
// mappings as the file writes them.
constexpr std::uint32_t kMidiChunkTag = brontal::ChunkTag("midi");
constexpr std::uint32_t kMidiChunkVersion = 1;
constexpr std::size_t kMaxMidiText = 64 * 1024;
constexpr int32 kMidiBus = 0;
constexpr const char* kCabinetChanged = "Cabinet";

static_assert(ParamFlags::kCanAutomate == ParameterInfo::kCanAutomate &&
                  ParamFlags::kIsReadOnly == ParameterInfo::kIsReadOnly &&
                  ParamFlags::kIsBypass == ParameterInfo::kIsBypass && ParamFlags::kIsList == ParameterInfo::kIsList &&
                  ParamFlags::kIsHidden == ParameterInfo::kIsHidden &&
                  ParamFlags::kIsProgramChange == ParameterInfo::kIsProgramChange,
              "the table's flags are the SDK's");

// A program's name (a file name, UTF-8) as the host shows it; what does not
// decode becomes '?'.
void ProgramTitle(const std::string& sName, String128 wszTitle)
{
	int n = 0;
	for (std::size_t i = 0; i < sName.size() && n < 127;)
	{
		const auto c = static_cast<unsigned char>(sName[i]);
		const int iLength = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
		char32_t u = iLength == 1 ? c : iLength == 2 ? c & 0x1F : iLength == 3 ? c & 0x0F : c & 0x07;
		bool bValid = iLength > 0 && i + static_cast<std::size_t>(iLength) <= sName.size();
		for (int k = 1; bValid && k < iLength; ++k)
		{
			const auto d = static_cast<unsigned char>(sName[i + static_cast<std::size_t>(k)]);
			bValid = (d >> 6) == 2;
			u = (u << 6) | (d & 0x3F);
		}
		i += bValid ? static_cast<std::size_t>(iLength) : 1;
		if (!bValid || u > 0x10FFFF || (u >= 0xD800 && u < 0xE000))
			wszTitle[n++] = '?';
		else if (u < 0x10000)
			wszTitle[n++] = static_cast<TChar>(u);
		else if (n < 126)
		{
			wszTitle[n++] = static_cast<TChar>(0xD800 + ((u - 0x10000) >> 10));
			wszTitle[n++] = static_cast<TChar>(0xDC00 + ((u - 0x10000) & 0x3FF));
		}
		else
			break;
	}
	wszTitle[n] = 0;
}
bool IsWavName(const std::string& sName)
{
	if (sName.size() < 4)
		return false;
	std::string sEnd = sName.substr(sName.size() - 4);
	std::transform(sEnd.begin(), sEnd.end(), sEnd.begin(), [](unsigned char c) { return std::tolower(c); });
	return sEnd == ".wav";
}

std::string Lowered(std::string s)
{
	std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
	return s;
}

// The WAV files of sPath's folder, by name as a player reads it; sPath
// itself is among them even when it is gone, so a step can pass it.
std::vector<std::string> WavFilesBeside(const std::string& sPath)
{
	const std::filesystem::path file = std::filesystem::u8path(sPath);
	std::vector<std::string> aFiles{file.filename().u8string()};
	std::error_code error;
	for (std::filesystem::directory_iterator it(file.parent_path(), error), end; !error && it != end;
	     it.increment(error))
	{
		const std::string sName = it->path().filename().u8string();
		if (IsWavName(sName) && sName != aFiles[0] && it->is_regular_file(error))
			aFiles.push_back(sName);
	}
	std::sort(aFiles.begin(), aFiles.end(), [](const std::string& a, const std::string& b) {
		const std::string la = Lowered(a), lb = Lowered(b);
		return la != lb ? la < lb : a < b;
	});
	return aFiles;
}
} // namespace

tresult PLUGIN_API BrontalController::initialize(FUnknown* context)
{
	const tresult result = EditControllerEx1::initialize(context);
	if (result != kResultOk)
		return result;

	addUnit(new Unit(STR16("Unit1"), kUnitId, kRootUnitId, kProgram));
	m_programs.Build(brontal::kProcessorClassId.data(), brontal::UserPresetFolder());
	for (const ParamDef& def : kParams)
	{
		if (def.kind == ParamKind::Program)
		{
			addPrograms(def);
			continue;
		}
		const ParamValue dDefault = def.fDefault;
		const auto* szTitle = reinterpret_cast<const TChar*>(def.wszTitle);
		if (!parameters.addParameter(szTitle, nullptr, def.iStepCount, dDefault, def.iFlags, static_cast<ParamID>(def.iId),
		                             kRootUnitId))
			BRONTAL_ASSERT(false, "0", "source/brontalcontroller");
		setParamNormalized(static_cast<ParamID>(def.iId), dDefault);
	}
	loadPlayerMappings();
	return kResultOk;
}

void BrontalController::addPrograms(const ParamDef& def)
{
	auto* pList = new ProgramList(reinterpret_cast<const TChar*>(def.wszTitle), static_cast<ProgramListID>(def.iId), kUnitId);
	for (const brontal::Program& program : m_programs.All())
	{
		String128 wszTitle;
		ProgramTitle(program.sName, wszTitle);
		pList->addProgram(wszTitle);
	}
	EditControllerEx1::addProgramList(pList);
	// The list's parameter: its id, title and flags are the table's.
	Parameter* pParameter = pList->getParameter();
	BRONTAL_ASSERT(pParameter->getInfo().flags == def.iFlags && pParameter->getInfo().id == ParamID(def.iId), "0",
	               "source/brontalcontroller");
	parameters.addParameter(pParameter);
}

void BrontalController::reportMidiTrouble(const std::string& sMessage)
{
	m_sMidiMessage = sMessage;
	std::fprintf(stderr, "[Brontal] MIDI mappings: %s\n", sMessage.c_str());
}

void BrontalController::loadPlayerMappings()
{
	std::string sError;
	const std::filesystem::path file = brontal::PlayerMappingsFile();
	if (!file.empty() && !m_midiMap.Load(file, sError))
		reportMidiTrouble(sError + "; no controller is mapped until one is learned (the file is then kept as .bad)");
}

void BrontalController::notifyViews(const char* szMessage)
{
	for (BrontalEditorView* pView : m_aViews)
		if (pView)
			pView->notify(nullptr, szMessage);
}

void BrontalController::mappingsChanged()
{
	if (!m_bProjectMappings)
	{
		const std::filesystem::path file = brontal::PlayerMappingsFile();
		std::string sError;
		if (!file.empty() && !m_sMidiMessage.empty())
		{
			// A file we could not read is the player's: kept aside, not overwritten.
			std::error_code error;
			std::filesystem::path kept = file;
			kept += ".bad";
			std::filesystem::rename(file, kept, error);
			m_sMidiMessage.clear();
		}
		if (!file.empty() && !m_midiMap.Save(file, sError))
			reportMidiTrouble(sError);
	}
	if (componentHandler)
		componentHandler->restartComponent(kMidiCCAssignmentChanged);
	notifyViews("MIDI Mappings");
}

tresult PLUGIN_API BrontalController::terminate()
{
	m_aViews.clear();
	return EditControllerEx1::terminate();
}

tresult BrontalController::applyState(IBStream* state, bool bOwnState)
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
	if (!bOwnState)
	{
		// The processor's state names its cabinet: what a reopened project shows.
		brontal::LoadedIr ir;
		const auto chunk = std::find_if(parsed.chunks.begin(), parsed.chunks.end(),
		                                [](const brontal::StateChunk& c) { return c.uTag == brontal::kIrChunkTag; });
		const bool bCabinet = chunk != parsed.chunks.end() && brontal::DecodeIrChunk(*chunk, ir);
		m_sCabinetPath = bCabinet ? ir.sPath : std::string();
		showCabinet(bCabinet ? &ir : nullptr);
		return kResultOk;
	}
	for (const brontal::StateChunk& chunk : parsed.chunks)
	{
		if (chunk.uTag != kMidiChunkTag || chunk.uVersion != kMidiChunkVersion)
			continue;
		brontal::ChunkReader reader(chunk.payload);
		const bool bOwn = reader.GetU32() != 0;
		const std::string sText = reader.GetString(kMaxMidiText);
		brontal::CMidiMap projectMap;
		std::string sError;
		if (!reader.Done() || (bOwn && !projectMap.FromText(sText, sError)))
		{
			reportMidiTrouble("the project's mappings do not read (" + (sError.empty() ? "cut short" : sError) +
			                  "); the player's are in use");
			continue;
		}
		if (bOwn)
			m_midiMap = projectMap;
		else if (m_bProjectMappings)
			loadPlayerMappings();
		m_bProjectMappings = bOwn;
		if (componentHandler)
			componentHandler->restartComponent(kMidiCCAssignmentChanged);
		notifyViews("MIDI Mappings");
	}
	return kResultOk;
}

tresult PLUGIN_API BrontalController::setComponentState(IBStream* state)
{
	if (!state)
		return kResultOk;
	return applyState(state, false);
}

tresult PLUGIN_API BrontalController::setState(IBStream* state)
{
	if (!state)
		return kResultOk;
	if (applyState(state, true) != kResultOk)
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
	// Only a project that keeps its own mappings carries them; any other
	// state (a preset's too) leaves the mappings in use alone when loaded.
	std::vector<brontal::StateChunk> chunks;
	if (m_bProjectMappings)
	{
		brontal::ChunkWriter writer;
		writer.PutU32(1);
		writer.PutString(m_midiMap.ToText());
		chunks.push_back({kMidiChunkTag, kMidiChunkVersion, std::move(writer.Bytes())});
	}
	return brontal::WriteStateStream(state, brontal::SerialiseState(afValues, chunks)) ? kResultOk : kResultFalse;
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
	// A program chosen: the controls show its settings, as the processor,
	// which the host tells too, takes them.
	if (tag == ParamID(kProgram) && result == kResultOk)
		if (const brontal::Program* pProgram = m_programs.At(value))
			pProgram->Apply([this](int iId, float fValue) { setParamNormalized(ParamID(iId), fValue); });
	return result;
}

IPlugView* PLUGIN_API BrontalController::createView(FIDString name)
{
	if (!name || std::strcmp(name, ViewType::kEditor) != 0)
		return nullptr;
	return new BrontalEditorView(this, *this, this);
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

bool BrontalController::sendCabinet(const std::vector<unsigned char>* pPayload)
{
	IPtr<IMessage> message = owned(allocateMessage());
	if (!message)
		return false;
	message->setMessageID(brontal::kCabinetMessageId);
	// The built-in cabinet: no attribute at all (see irstate.h).
	if (pPayload && message->getAttributes()->setBinary(brontal::kCabinetMessageData, pPayload->data(),
	                                                    static_cast<uint32>(pPayload->size())) != kResultOk)
		return false;
	if (sendMessage(message) != kResultOk)
		return false;
	// The project changed outside its parameters: the host should save it.
	if (FUnknownPtr<IComponentHandler2> handler2{componentHandler})
		handler2->setDirty(true);
	return true;
}

void BrontalController::showCabinet(const brontal::LoadedIr* pIr)
{
	m_cabinet = {};
	if (pIr)
	{
		m_cabinet.sName = pIr->sName;
		m_cabinet.dSeconds = static_cast<double>(pIr->samples.Frames()) / pIr->samples.dSampleRate;
		m_cabinet.bStereo = pIr->samples.IsStereo();
	}
	notifyViews(kCabinetChanged);
}

void BrontalController::cabinetLoad(const std::string& sPath)
{
	m_sCabinetPath = sPath;
	brontal::LoadedIr ir;
	std::string sMessage;
	if (!brontal::LoadIrFile(sPath, ir, sMessage))
		return cabinetTrouble(sMessage);
	const brontal::StateChunk chunk = brontal::EncodeIrChunk(ir);
	if (!sendCabinet(&chunk.payload))
		return cabinetTrouble(ir.sName + " did not reach the audio engine; the cabinet is unchanged");
	showCabinet(&ir);
}

void BrontalController::cabinetStep(int iStep)
{
	if (m_sCabinetPath.empty())
		return cabinetTrouble("Load a response first: previous and next go through the files beside it");
	const std::vector<std::string> aFiles = WavFilesBeside(m_sCabinetPath);
	const std::string sHere = std::filesystem::u8path(m_sCabinetPath).filename().u8string();
	const auto iHere = std::find(aFiles.begin(), aFiles.end(), sHere) - aFiles.begin();
	const auto iCount = static_cast<std::ptrdiff_t>(aFiles.size());
	const std::ptrdiff_t iNext = ((iHere + iStep) % iCount + iCount) % iCount;
	cabinetLoad((std::filesystem::u8path(m_sCabinetPath).parent_path() / std::filesystem::u8path(aFiles[size_t(iNext)]))
	                .u8string());
}

void BrontalController::cabinetBuiltIn()
{
	if (!sendCabinet(nullptr))
		return cabinetTrouble("The built-in cabinet did not reach the audio engine");
	showCabinet(nullptr);
}

void BrontalController::cabinetTrouble(const std::string& sMessage)
{
	m_cabinet.sMessage = sMessage;
	notifyViews(kCabinetChanged);
}

std::vector<std::string> BrontalController::editorPrograms() const
{
	std::vector<std::string> names;
	for (const brontal::Program& program : m_programs.All())
		names.push_back(program.sName);
	return names;
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

tresult PLUGIN_API BrontalController::getMidiControllerAssignment(int32 busIndex, int16 channel,
                                                                  CtrlNumber midiControllerNumber, ParamID& id)
{
	// Only what the player mapped: claiming a controller without naming it
	// would mislead hosts.
	if (busIndex != kMidiBus || channel < 0 || channel >= brontal::kMidiChannels || midiControllerNumber < 0 ||
	    midiControllerNumber >= brontal::kMidiControllers)
		return kResultFalse;
	const int iParam = m_midiMap.HostParamFor(channel, midiControllerNumber);
	if (iParam == 0)
		return kResultFalse;
	id = static_cast<ParamID>(iParam);
	return kResultTrue;
}

tresult PLUGIN_API BrontalController::onLiveMIDIControllerInput(int32 busIndex, int16 channel, CtrlNumber midiCC)
{
	if (m_iLearning == 0 || busIndex != kMidiBus)
		return kResultFalse;
	const int iParam = m_iLearning;
	// Aftertouch, pitch bend and the other pseudo-controllers are no pedal.
	if (!m_midiMap.Set({iParam, midiCC, channel, brontal::LearnedMode(iParam)}))
		return kResultFalse;
	m_iLearning = 0;
	mappingsChanged();
	return kResultOk;
}

tresult PLUGIN_API BrontalController::learn(ParamID id)
{
	if (id != 0 && !IsMidiMappable(static_cast<int>(id)))
		return kInvalidArgument;
	m_iLearning = static_cast<int>(id);
	notifyViews("MIDI Mappings");
	return kResultOk;
}

tresult PLUGIN_API BrontalController::assign(ParamID id, int32 controller, int32 channel, TBool toggles)
{
	const int iParam = static_cast<int>(id);
	const PedalMode mode = brontal::LearnedMode(iParam) == PedalMode::None
	                                    ? PedalMode::None
	                                    : (toggles ? PedalMode::Toggle : PedalMode::Hold);
	if (!m_midiMap.Set({iParam, controller, channel, mode}))
		return kInvalidArgument;
	if (m_iLearning == iParam)
		m_iLearning = 0;
	mappingsChanged();
	return kResultOk;
}

tresult PLUGIN_API BrontalController::forget(ParamID id)
{
	if (!m_midiMap.Of(static_cast<int>(id)))
		return kResultFalse;
	m_midiMap.Clear(static_cast<int>(id));
	mappingsChanged();
	return kResultOk;
}

tresult PLUGIN_API BrontalController::getAssignment(ParamID id, int32& controller, int32& channel, TBool& toggles)
{
	const brontal::MidiMapping* pMapping = m_midiMap.Of(static_cast<int>(id));
	if (!pMapping)
		return kResultFalse;
	controller = pMapping->iController;
	channel = pMapping->iChannel;
	toggles = pMapping->mode == PedalMode::Toggle;
	return kResultOk;
}

tresult PLUGIN_API BrontalController::setProjectMappings(TBool own)
{
	if (static_cast<bool>(own) == m_bProjectMappings)
		return kResultOk;
	// Taken on, the project starts from the player's mappings; given up, the
	// player's file counts again.
	m_bProjectMappings = own;
	if (!own)
		loadPlayerMappings();
	if (componentHandler)
		componentHandler->restartComponent(kMidiCCAssignmentChanged);
	notifyViews("MIDI Mappings");
	return kResultOk;
}

} // namespace Vst
} // namespace Steinberg

