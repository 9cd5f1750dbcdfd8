#include "playerhome.h"

#include <cstdlib>
#include <random>
#include <string>

namespace bundletest {
namespace fs = std::filesystem;

fs::path playerHome()
{
	static const fs::path home = [] {
		std::random_device random;
		fs::path path = fs::temp_directory_path() / ("brontal-player-" + std::to_string(random()));
		fs::create_directories(path);
#ifdef _WIN32
		_putenv_s("USERPROFILE", path.string().c_str());
		_putenv_s("APPDATA", (path / "AppData").string().c_str());
#else
		setenv("XDG_CONFIG_HOME", path.c_str(), 1);
		setenv("HOME", path.c_str(), 1);
#endif
		return path;
	}();
	return home;
}

fs::path playerConfigFolder()
{
#ifdef _WIN32
	return playerHome() / "AppData" / "Brontal";
#else
	return playerHome() / "brontal";
#endif
}

fs::path playerPresetFolder()
{
#ifdef _WIN32
	const fs::path root = playerHome() / "Documents" / "VST3 Presets";
#else
	const fs::path root = playerHome() / ".vst3" / "presets";
#endif
	return root / "Brontal Audio - https___brontal.example" / "Brontal2";
}

// Made before main, before any instance reads it; gone when the run ends.
struct Home
{
	Home() { playerHome(); }
	~Home()
	{
		std::error_code error;
		fs::remove_all(playerHome(), error);
	}
} g_home;

} // namespace bundletest
