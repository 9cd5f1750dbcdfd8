// The module's class factory: one factory record, the processor class and
// the controller class.

#include "brontal.h"
#include "brontalcontroller.h"
#include "brontalids.h"
#include "sdkgap/moduleentry.h"
#include "sdkgap/pluginfactory.h"
#include "version.h"

#include <mutex>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

// Forgets itself when the host releases it, so the next call builds anew.
class BrontalFactory : public CPluginFactory
{
public:
	using CPluginFactory::CPluginFactory;
	~BrontalFactory() override;
};

std::mutex g_factoryMutex;
BrontalFactory* g_pFactory = nullptr;

BrontalFactory::~BrontalFactory()
{
	if (g_pFactory == this)
		g_pFactory = nullptr;
}

PClassInfo2 MakeClassInfo(const FUID& cid, const char8* szCategory, const char8* szName, int32 iFlags,
                          const char8* szSubCategories)
{
	TUID tuid;
	cid.toTUID(tuid);
	return PClassInfo2(tuid, PClassInfo::kManyInstances, szCategory, szName, iFlags, szSubCategories, "",
	                   BRONTAL_VERSION_STR, BRONTAL_SDK_VERSION);
}

} // namespace

BRONTAL_EXPORT IPluginFactory* PLUGIN_API GetPluginFactory()
{
	std::lock_guard<std::mutex> lock(g_factoryMutex);
	if (g_pFactory)
	{
		g_pFactory->addRef();
		return g_pFactory;
	}
	static const PFactoryInfo factoryInfo(BRONTAL_VENDOR, BRONTAL_URL, BRONTAL_EMAIL, PFactoryInfo::kUnicode);
	static const PClassInfo2 processorInfo = MakeClassInfo(BrontalProcessorUID, kVstAudioEffectClass, BRONTAL_CLASS_NAME,
	                                                       Vst::kDistributable, "Fx|Distortion");
	static const PClassInfo2 controllerInfo =
	    MakeClassInfo(BrontalControllerUID, kVstComponentControllerClass, "Brontal2Brontal Controller", 0, "");

	g_pFactory = new BrontalFactory(factoryInfo);
	g_pFactory->registerClass(&processorInfo, Brontal::createInstance);
	g_pFactory->registerClass(&controllerInfo, BrontalController::createInstance);
	return g_pFactory;
}
