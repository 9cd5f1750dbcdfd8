// brontal-lv2ttl: writes the LV2 bundle's descriptions from the parameter
// table, so that they cannot drift from what the VST 3 controller publishes.
//
//   brontal-lv2ttl OUTDIR     writes OUTDIR/manifest.ttl, OUTDIR/brontal.ttl (the
//                             plug-ins and their UI)
//                             and the factory presets, OUTDIR/presets.ttl

#include "lv2/lv2ports.h"
#include "lv2/lv2ttlwords.h"
#include "presets/factorypresets.h"
#include "version.h"

#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

namespace {

using namespace brontal::lv2;

constexpr int kVersion[] = {BRONTAL_VERSION_NUMBERS};

const char* const kPrefixes = R"(@prefix atom: <http://lv2plug.in/ns/ext/atom#> .
@prefix doap: <http://usefulinc.com/ns/doap#> .
@prefix foaf: <http://xmlns.com/foaf/0.1/> .
@prefix log: <http://lv2plug.in/ns/ext/log#> .
@prefix lv2: <http://lv2plug.in/ns/lv2core#> .
@prefix midi: <http://lv2plug.in/ns/ext/midi#> .
@prefix patch: <http://lv2plug.in/ns/ext/patch#> .
@prefix pset: <http://lv2plug.in/ns/ext/presets#> .
@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .
@prefix state: <http://lv2plug.in/ns/ext/state#> .
@prefix time: <http://lv2plug.in/ns/ext/time#> .
@prefix ui: <http://lv2plug.in/ns/extensions/ui#> .
@prefix urid: <http://lv2plug.in/ns/ext/urid#> .
@prefix worker: <http://lv2plug.in/ns/ext/worker#> .
)";

void Port(std::ostream& out, bool bFirst, const std::string& sBody)
{
	out << (bFirst ? "\tlv2:port [\n" : " , [\n") << sBody << "\t]";
}

std::string ControlPort(const PortLayout& layout, const ParamDef& def)
{
	std::ostringstream body;
	const bool bOutput = IsOutputPort(def);
	const bool bEnabled = IsEnabledPort(def);
	body << "\t\ta lv2:" << (bOutput ? "Output" : "Input") << "Port , lv2:ControlPort ;\n"
	     << "\t\tlv2:index " << layout.ParamPort(def.iId) << " ;\n"
	     << "\t\tlv2:symbol \"" << PortSymbol(def) << "\" ;\n"
	     << "\t\tlv2:name \"" << PortName(def) << "\" ;\n"
	     << "\t\tlv2:default " << Decimal(bEnabled ? 1.0f - def.fDefault : def.fDefault) << " ;\n"
	     << "\t\tlv2:minimum 0.0 ;\n"
	     << "\t\tlv2:maximum 1.0";
	if (bEnabled)
		body << " ;\n\t\tlv2:designation lv2:enabled";
	if (def.iStepCount == 1)
		body << " ;\n\t\tlv2:portProperty lv2:toggled";
	body << "\n";
	return body.str();
}

void Plugin(std::ostream& out, const char* szUri, const char* szName, const PortLayout& layout)
{
	out << "\n<" << szUri << ">\n"
	    << "\ta lv2:Plugin , lv2:SimulatorPlugin , doap:Project ;\n"
	    << "\tdoap:name \"" << szName << "\" ;\n"
	    << "\tdoap:maintainer [\n\t\tfoaf:name \"Brontal Audio\" ;\n\t\tfoaf:homepage <" << BRONTAL_URL
	    << "> ;\n\t\tfoaf:mbox <" << BRONTAL_EMAIL << ">\n\t] ;\n"
	    << "\tlv2:minorVersion " << kVersion[1] << " ;\n"
	    << "\tlv2:microVersion " << kVersion[3] << " ;\n"
	    << "\tlv2:optionalFeature urid:map , lv2:hardRTCapable , worker:schedule , log:log ;\n"
	    << "\tlv2:extensionData state:interface , worker:interface ;\n"
	    << "\tpatch:writable <" << kCabinetParameterUri << "> ;\n"
	    << "\tui:ui <" << kUiUri << "> ;\n";
	static const char* const aszSide[] = {"l", "r"};
	static const char* const aszSideName[] = {"Left", "Right"};
	bool bFirst = true;
	for (int bOutput = 0; bOutput < 2; ++bOutput)
		for (int c = 0; c < layout.iChannels; ++c)
		{
			std::ostringstream body;
			const char* szDir = bOutput ? "out" : "in";
			body << "\t\ta lv2:AudioPort , lv2:" << (bOutput ? "Output" : "Input") << "Port ;\n"
			     << "\t\tlv2:index " << (bOutput ? layout.AudioOut(c) : layout.AudioIn(c)) << " ;\n";
			if (layout.iChannels == 1)
				body << "\t\tlv2:symbol \"" << szDir << "\" ;\n\t\tlv2:name \"" << (bOutput ? "Out" : "In") << "\"\n";
			else
				body << "\t\tlv2:symbol \"" << szDir << "_" << aszSide[c] << "\" ;\n\t\tlv2:name \""
				     << (bOutput ? "Out " : "In ") << aszSideName[c] << "\"\n";
			Port(out, bFirst, body.str());
			bFirst = false;
		}
	{
		std::ostringstream body;
		body << "\t\ta atom:AtomPort , lv2:InputPort ;\n"
		     << "\t\tatom:bufferType atom:Sequence ;\n"
		     << "\t\tatom:supports midi:MidiEvent , time:Position , patch:Message ;\n"
		     << "\t\tlv2:designation lv2:control ;\n"
		     << "\t\tlv2:portProperty lv2:connectionOptional ;\n"
		     << "\t\tlv2:index " << layout.Events() << " ;\n"
		     << "\t\tlv2:symbol \"events\" ;\n"
		     << "\t\tlv2:name \"Events\"\n";
		Port(out, false, body.str());
	}
	{
		std::ostringstream body;
		body << "\t\ta lv2:OutputPort , lv2:ControlPort ;\n"
		     << "\t\tlv2:index " << layout.Latency() << " ;\n"
		     << "\t\tlv2:symbol \"latency\" ;\n"
		     << "\t\tlv2:name \"Latency\" ;\n"
		     << "\t\tlv2:designation lv2:latency ;\n"
		     << "\t\tlv2:portProperty lv2:reportsLatency , lv2:integer ;\n"
		     << "\t\tlv2:minimum 0 ;\n"
		     << "\t\tlv2:maximum 0 ;\n"
		     << "\t\tlv2:default 0\n";
		Port(out, false, body.str());
	}
	for (const ParamDef& def : kParams)
		if (HasPort(def))
			Port(out, false, ControlPort(layout, def));
	{
		std::ostringstream body;
		body << "\t\ta atom:AtomPort , lv2:OutputPort ;\n"
		     << "\t\tatom:bufferType atom:Sequence ;\n"
		     << "\t\tatom:supports patch:Message ;\n"
		     << "\t\tlv2:designation lv2:control ;\n"
		     << "\t\tlv2:portProperty lv2:connectionOptional ;\n"
		     << "\t\tlv2:index " << layout.Notify() << " ;\n"
		     << "\t\tlv2:symbol \"notify\" ;\n"
		     << "\t\tlv2:name \"Notify\"\n";
		Port(out, false, body.str());
	}
	out << " .\n";
}

// "High-Gain Lead" is <...#preset-high_gain_lead>.
std::string PresetUri(const brontal::presets::FactoryPreset& preset)
{
	return std::string(kPluginUri) + "#preset-" + Slug(preset.name);
}

// Every panel control of a preset as a port value; both plug-ins take them.
void Presets(std::ostream& manifest, std::ostream& presets)
{
	for (const brontal::presets::FactoryPreset& preset : brontal::presets::kPresets)
	{
		const std::string sUri = PresetUri(preset);
		manifest << "\n<" << sUri << ">\n\ta pset:Preset ;\n\tlv2:appliesTo <" << kPluginUri << "> , <"
		         << kMonoPluginUri << "> ;\n\trdfs:seeAlso <presets.ttl> .\n";
		presets << "\n<" << sUri << ">\n\ta pset:Preset ;\n\tlv2:appliesTo <" << kPluginUri << "> , <"
		        << kMonoPluginUri << "> ;\n\trdfs:label \"" << preset.name << "\" ;\n\tlv2:port";
		bool bFirst = true;
		for (const auto& [iId, fValue] : brontal::presets::values(preset))
		{
			presets << (bFirst ? " [\n" : " , [\n") << "\t\tlv2:symbol \"" << PortSymbol(ParamDefOf(iId))
			        << "\" ;\n\t\tpset:value " << Decimal(fValue) << "\n\t]";
			bFirst = false;
		}
		presets << " .\n";
	}
}

bool Write(const std::string& sPath, const std::string& sText)
{
	std::ofstream file(sPath, std::ios::binary);
	file << sText;
	file.close();
	if (!file)
	{
		std::fprintf(stderr, "brontal-lv2ttl: cannot write %s\n", sPath.c_str());
		return false;
	}
	return true;
}

} // namespace

int main(int argc, char** argv)
{
	if (argc != 2)
	{
		std::fprintf(stderr, "usage: brontal-lv2ttl OUTDIR\n");
		return 2;
	}
	const std::string sDir = argv[1];
	// Hosts find ports by symbol: a new title that clashes is an error here.
	std::set<std::string> symbols = {"in", "out", "in_l", "in_r", "out_l", "out_r", "events", "latency", "notify"};
	for (const ParamDef& def : kParams)
		if (HasPort(def) && !symbols.insert(PortSymbol(def)).second)
		{
			std::fprintf(stderr, "brontal-lv2ttl: the port symbol %s is taken twice\n", PortSymbol(def).c_str());
			return 1;
		}

	std::ostringstream manifest;
	manifest << kPrefixes;
	for (const char* szUri : {kPluginUri, kMonoPluginUri})
		manifest << "\n<" << szUri << ">\n\ta lv2:Plugin ;\n\tlv2:binary <brontal.so> ;\n\trdfs:seeAlso <brontal.ttl> .\n";

	manifest << "\n<" << kUiUri << ">\n\ta ui:X11UI ;\n\tui:binary <brontal_ui.so> ;\n\trdfs:seeAlso <brontal.ttl> .\n";

	std::ostringstream presets;
	presets << kPrefixes;
	Presets(manifest, presets);

	std::ostringstream plugins;
	plugins << kPrefixes;
	Plugin(plugins, kPluginUri, "Brontal", kStereo);
	Plugin(plugins, kMonoPluginUri, "Brontal Mono", kMono);
	plugins << "\n<" << kCabinetParameterUri << ">\n\ta lv2:Parameter ;\n\trdfs:label \"Cabinet IR\" ;\n"
	        << "\trdfs:range atom:Path .\n";
	// The editor: in the host's window, run from its idle calls.
	plugins << "\n<" << kUiUri << ">\n\ta ui:X11UI ;\n"
	        << "\tlv2:requiredFeature ui:idleInterface , ui:parent ;\n"
	        << "\tlv2:optionalFeature ui:resize , ui:touch , urid:map ;\n"
	        << "\tlv2:extensionData ui:idleInterface";
	// The meters and LEDs reach the UI as their ports change, and the
	// notify port's news as its events.
	for (const char* szUri : {kPluginUri, kMonoPluginUri})
	{
		for (const ParamDef& def : kParams)
			if (HasPort(def) && IsOutputPort(def))
				plugins << " ;\n\tui:portNotification [\n\t\tui:plugin <" << szUri << "> ;\n\t\tlv2:symbol \""
				        << PortSymbol(def) << "\" ;\n\t\tui:protocol ui:floatProtocol\n\t]";
		plugins << " ;\n\tui:portNotification [\n\t\tui:plugin <" << szUri
		        << "> ;\n\t\tlv2:symbol \"notify\" ;\n\t\tui:protocol atom:eventTransfer\n\t]";
	}
	plugins << " .\n";

	return Write(sDir + "/manifest.ttl", manifest.str()) && Write(sDir + "/brontal.ttl", plugins.str()) &&
	               Write(sDir + "/presets.ttl", presets.str())
	           ? 0
	           : 1;
}
