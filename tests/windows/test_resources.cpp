// The Windows module as Windows tools and hosts read the file: its export
// table, its version record, its bitmaps, icon group and dialog template.
#include "abouttemplate.h"

#include "host/module.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

using namespace brontal;
using namespace brontal::wintest;

namespace {

std::wstring modulePath()
{
	const std::string path = host::resolveModulePath(BRONTAL_BUNDLE_PATH);
	return std::wstring(path.begin(), path.end());
}

// The module loaded as data: resources only, no code run.
class ModuleFile : public ::testing::Test
{
protected:
	void SetUp() override
	{
		hModule = LoadLibraryExW(modulePath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
		ASSERT_NE(hModule, nullptr);
	}
	void TearDown() override { FreeLibrary(hModule); }

	std::vector<unsigned char> resource(WORD uId, LPCWSTR szType) const
	{
		HRSRC hResource = FindResourceW(hModule, MAKEINTRESOURCEW(uId), szType);
		if (!hResource)
			return {};
		const auto* pData = static_cast<const unsigned char*>(LockResource(LoadResource(hModule, hResource)));
		return std::vector<unsigned char>(pData, pData + SizeofResource(hModule, hResource));
	}

	HMODULE hModule = nullptr;
};

std::vector<unsigned char> readFile(const std::string& path)
{
	std::ifstream file(path, std::ios::binary);
	return std::vector<unsigned char>((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

template <typename T>
T at(const std::vector<unsigned char>& bytes, std::size_t uOffset)
{
	T value{};
	if (uOffset + sizeof(T) <= bytes.size())
		std::copy_n(bytes.data() + uOffset, sizeof(T), reinterpret_cast<unsigned char*>(&value));
	return value;
}

} // namespace

TEST(WindowsModule, ExportsExactlyTheThreeEntryPoints)
{
	HMODULE hModule = LoadLibraryW(modulePath().c_str());
	ASSERT_NE(hModule, nullptr);
	const auto* pBase = reinterpret_cast<const unsigned char*>(hModule);
	const auto* pDos = reinterpret_cast<const IMAGE_DOS_HEADER*>(pBase);
	const auto* pNt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(pBase + pDos->e_lfanew);
	const IMAGE_DATA_DIRECTORY& directory = pNt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
	ASSERT_NE(directory.VirtualAddress, 0u);
	const auto* pExports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(pBase + directory.VirtualAddress);
	const auto* pNames = reinterpret_cast<const DWORD*>(pBase + pExports->AddressOfNames);
	std::vector<std::string> aNames;
	for (DWORD i = 0; i < pExports->NumberOfNames; ++i)
		aNames.emplace_back(reinterpret_cast<const char*>(pBase + pNames[i]));
	EXPECT_EQ(pExports->NumberOfFunctions, 3u);
	EXPECT_EQ(aNames, (std::vector<std::string>{"ExitDll", "GetPluginFactory", "InitDll"}));
	FreeLibrary(hModule);
}

TEST(WindowsModule, VersionRecordReadsBack)
{
	const std::wstring path = modulePath();
	DWORD uHandle = 0;
	const DWORD uSize = GetFileVersionInfoSizeW(path.c_str(), &uHandle);
	ASSERT_GT(uSize, 0u);
	std::vector<unsigned char> info(uSize);
	ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, uSize, info.data()));

	VS_FIXEDFILEINFO* pFixed = nullptr;
	UINT uLength = 0;
	ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&pFixed), &uLength));
	EXPECT_EQ(pFixed->dwSignature, 0xfeef04bdu);
	// 2.0.0.1069: major and minor in the high word, build and revision in the low.
	EXPECT_EQ(pFixed->dwFileVersionMS, DWORD(2u << 16 | 0u));
	EXPECT_EQ(pFixed->dwFileVersionLS, DWORD(0u << 16 | 1069u));
	EXPECT_EQ(pFixed->dwProductVersionMS, DWORD(2u << 16 | 0u));
	EXPECT_EQ(pFixed->dwProductVersionLS, DWORD(0u << 16 | 1069u));
	EXPECT_EQ(pFixed->dwFileType, DWORD(VFT_DLL));

	struct Translation
	{
		WORD uLanguage;
		WORD uCodePage;
	}* pTranslation = nullptr;
	ASSERT_TRUE(VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&pTranslation), &uLength));
	ASSERT_GE(uLength, sizeof(Translation));
	wchar_t szBlock[64];
	swprintf(szBlock, 64, L"\\StringFileInfo\\%04x%04x\\", pTranslation->uLanguage, pTranslation->uCodePage);
	const auto text = [&](const wchar_t* szName) {
		wchar_t* pValue = nullptr;
		UINT uChars = 0;
		const std::wstring query = std::wstring(szBlock) + szName;
		if (!VerQueryValueW(info.data(), query.c_str(), reinterpret_cast<void**>(&pValue), &uChars) || !pValue)
			return std::string("(missing)");
		const std::wstring value(pValue);
		return std::string(value.begin(), value.end());
	};
	EXPECT_EQ(text(L"FileDescription"), "Brontal1 VST");
	EXPECT_EQ(text(L"InternalName"), "Brontal1 VST");
	EXPECT_EQ(text(L"ProductName"), "Brontal1 VST");
	EXPECT_EQ(text(L"FileVersion"), "2.0.0.1069");
	EXPECT_EQ(text(L"ProductVersion"), "2.0.0.1069");
	EXPECT_EQ(text(L"OriginalFilename"), "brontal1.vst3");
}

TEST_F(ModuleFile, BitmapsAreTheCommittedFilesAsRtBitmapResources)
{
	// id -> width, height
	const std::map<WORD, std::pair<int, int>> sizes = {
	    {150, {1024, 768}}, {112, {31, 62}},  {107, {115, 376}}, {115, {54, 864}}, {108, {128, 376}},
	    {116, {62, 864}},   {113, {34, 62}},  {110, {144, 376}}, {109, {134, 376}}, {117, {56, 864}},
	    {111, {156, 376}},  {118, {57, 864}}, {114, {57, 864}},  {119, {279, 27}},  {120, {279, 27}},
	    {121, {279, 28}},   {122, {279, 28}}, {106, {20, 40}},   {104, {22, 36}},   {105, {18, 32}},
	    {152, {54, 27}},
	};
	for (const auto& [uId, size] : sizes)
	{
		SCOPED_TRACE(uId);
		// The resource is the file without its 14-byte file header.
		const std::vector<unsigned char> file =
		    readFile(std::string(BRONTAL_SOURCE_DIR) + "/resource/bitmaps/bmp" + std::to_string(uId) + ".bmp");
		ASSERT_GT(file.size(), 14u);
		EXPECT_TRUE(resource(uId, MAKEINTRESOURCEW(2)) == std::vector<unsigned char>(file.begin() + 14, file.end()));
		// And Windows reads it as a bitmap of the layout's size.
		HBITMAP hBitmap = static_cast<HBITMAP>(
		    LoadImageW(hModule, MAKEINTRESOURCEW(uId), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
		ASSERT_NE(hBitmap, nullptr);
		BITMAP bitmap{};
		GetObjectW(hBitmap, sizeof(bitmap), &bitmap);
		EXPECT_EQ(std::make_pair(int(bitmap.bmWidth), int(bitmap.bmHeight)), size);
		DeleteObject(hBitmap);
	}
	EXPECT_TRUE(resource(151, MAKEINTRESOURCEW(2)).empty());
}

TEST_F(ModuleFile, IconGroupHoldsSixSizesAt32Bits)
{
	const std::vector<unsigned char> group = resource(107, MAKEINTRESOURCEW(14)); // RT_GROUP_ICON
	ASSERT_GE(group.size(), 6u);
	EXPECT_EQ(at<WORD>(group, 2), 1); // icons, not cursors
	const WORD uCount = at<WORD>(group, 4);
	ASSERT_EQ(uCount, 6);
	ASSERT_EQ(group.size(), 6u + 14u * uCount);
	std::vector<int> aSizes;
	for (WORD i = 0; i < uCount; ++i)
	{
		const std::size_t uEntry = 6 + 14 * std::size_t(i);
		const int iWidth = group[uEntry] ? group[uEntry] : 256;
		const int iHeight = group[uEntry + 1] ? group[uEntry + 1] : 256;
		SCOPED_TRACE(iWidth);
		aSizes.push_back(iWidth);
		EXPECT_EQ(iHeight, iWidth);
		EXPECT_EQ(at<WORD>(group, uEntry + 6), 32) << "bits per pixel";
		const WORD uImage = at<WORD>(group, uEntry + 12);
		EXPECT_EQ(resource(uImage, MAKEINTRESOURCEW(3)).size(), at<DWORD>(group, uEntry + 8)); // RT_ICON

		// Windows picks that image for that size.
		HICON hIcon = static_cast<HICON>(LoadImageW(hModule, MAKEINTRESOURCEW(107), IMAGE_ICON, iWidth, iWidth, 0));
		ASSERT_NE(hIcon, nullptr);
		ICONINFO iconInfo{};
		ASSERT_TRUE(GetIconInfo(hIcon, &iconInfo));
		BITMAP color{};
		GetObjectW(iconInfo.hbmColor, sizeof(color), &color);
		EXPECT_EQ(std::make_pair(int(color.bmWidth), int(color.bmHeight)), std::make_pair(iWidth, iWidth));
		DeleteObject(iconInfo.hbmColor);
		DeleteObject(iconInfo.hbmMask);
		DestroyIcon(hIcon);
	}
	EXPECT_EQ(aSizes, (std::vector<int>{256, 128, 64, 48, 32, 16}));
}

namespace {

// Reads a dialog template field by field.
class TemplateReader
{
public:
	explicit TemplateReader(const std::vector<unsigned char>& bytes) : m_bytes(bytes) {}

	template <typename T>
	T read()
	{
		const T value = at<T>(m_bytes, m_uAt);
		m_uAt += sizeof(T);
		return value;
	}
	// A name or an ordinal ("#n"), as templates store classes and texts.
	std::string nameOrOrdinal()
	{
		if (at<WORD>(m_bytes, m_uAt) == 0xffff)
		{
			m_uAt += 2;
			return "#" + std::to_string(read<WORD>());
		}
		return text();
	}
	std::string text()
	{
		std::string value;
		while (m_uAt + 2 <= m_bytes.size())
		{
			const WORD uChar = read<WORD>();
			if (!uChar)
				break;
			value += char(uChar);
		}
		return value;
	}
	void alignToDword() { m_uAt = (m_uAt + 3) & ~std::size_t(3); }
	bool ok() const { return m_uAt <= m_bytes.size(); }

private:
	const std::vector<unsigned char>& m_bytes;
	std::size_t m_uAt = 0;
};

} // namespace

TEST_F(ModuleFile, AboutTemplateIsLaidOutControlByControl)
{
	const std::vector<unsigned char> dialog = resource(IDD_ABOUT, MAKEINTRESOURCEW(5)); // RT_DIALOG
	ASSERT_GE(dialog.size(), 26u);
	TemplateReader reader(dialog);
	EXPECT_EQ(reader.read<WORD>(), 1);      // version
	EXPECT_EQ(reader.read<WORD>(), 0xffff); // extended template
	reader.read<DWORD>();                   // help id
	EXPECT_EQ(reader.read<DWORD>(), 0u);    // extended style
	const DWORD uStyle = reader.read<DWORD>();
	for (DWORD uBit : {DWORD(DS_SETFONT), DWORD(DS_MODALFRAME), DWORD(DS_FIXEDSYS), DWORD(WS_POPUP), DWORD(WS_CAPTION),
	                   DWORD(WS_SYSMENU)})
		EXPECT_EQ(uStyle & uBit, uBit) << std::hex << uBit;
	const WORD uItems = reader.read<WORD>();
	EXPECT_EQ(uItems, expectedControls().size());
	const short aFrame[4] = {reader.read<short>(), reader.read<short>(), reader.read<short>(), reader.read<short>()};
	EXPECT_EQ(aFrame[2], 271);
	EXPECT_EQ(aFrame[3], 207);
	EXPECT_EQ(reader.nameOrOrdinal(), ""); // no menu
	EXPECT_EQ(reader.nameOrOrdinal(), ""); // the standard dialog class
	EXPECT_EQ(reader.text(), "About Brontal2");
	EXPECT_EQ(reader.read<WORD>(), 8); // points
	reader.read<WORD>();               // weight
	reader.read<BYTE>();               // italic
	reader.read<BYTE>();               // character set
	EXPECT_EQ(reader.text(), "MS Shell Dlg");

	// Class ordinals of the predefined controls.
	const std::map<std::string, std::string> classes = {{"Button", "#128"}, {"Edit", "#129"}, {"Static", "#130"}};
	for (std::size_t i = 0; i < std::min<std::size_t>(uItems, expectedControls().size()); ++i)
	{
		const Expected& expected = expectedControls()[i];
		SCOPED_TRACE(std::to_string(i) + " " + expected.templateText);
		reader.alignToDword();
		reader.read<DWORD>(); // help id
		reader.read<DWORD>(); // extended style
		const DWORD uItemStyle = reader.read<DWORD>();
		const short aRect[4] = {reader.read<short>(), reader.read<short>(), reader.read<short>(), reader.read<short>()};
		const auto iId = int(reader.read<DWORD>());
		const std::string className = reader.nameOrOrdinal();
		const std::string text = reader.nameOrOrdinal();
		const WORD uExtra = reader.read<WORD>();
		for (WORD j = 0; j < uExtra; ++j)
			reader.read<BYTE>();
		ASSERT_TRUE(reader.ok());
		// A predefined class by its ordinal or by its name.
		std::string lower = className;
		std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) { return char(std::tolower(c)); });
		std::string wanted = expected.szClass;
		std::transform(wanted.begin(), wanted.end(), wanted.begin(), [](char c) { return char(std::tolower(c)); });
		EXPECT_TRUE(className == classes.at(expected.szClass) || lower == wanted) << className;
		EXPECT_EQ(iId, expected.iId);
		const DWORD uWanted = DWORD(expected.uStyle) | WS_CHILD | WS_VISIBLE | (expected.iId == IDC_INFO_TEXT ? WS_BORDER : 0);
		EXPECT_EQ(uItemStyle & uWanted, uWanted) << std::hex << uItemStyle;
		EXPECT_EQ(std::vector<short>(aRect, aRect + 4),
		          (std::vector<short>{short(expected.dialogUnits.left), short(expected.dialogUnits.top),
		                              short(expected.dialogUnits.right), short(expected.dialogUnits.bottom)}));
		EXPECT_EQ(text, isIcon(expected) ? "#" + std::to_string(kIconOrdinal) : expected.templateText);
	}
}
