// Reads the resources of built bootstrappers back, as Windows and Explorer read them, and compares them
// with what the build was given: the default branding of packaging_default.exe and the vendor branding
// of "vendor setup.exe" (see test/packaging/CMakeLists.txt, which passes the same values).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "common/share/tstrings.h"
#include "common/windows/WinAutoHandle.h"
#include "common/windows/WinHeaders.h"
#include "support/Process.h"
#include "support/TempDir.h"

namespace {

using testing_support::readFile;
using testing_support::siblingProgram;

constexpr WORD kEnglishUnitedStates = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);  // 1033

std::uint32_t readLittleEndian(const std::string& bytes, std::size_t offset, std::size_t size) {
    std::uint32_t value = 0;
    for (std::size_t i = size; i-- > 0;)
        value = (value << 8) | static_cast<unsigned char>(bytes.at(offset + i));
    return value;
}

// One image of a .ico file: its directory entry and its bytes.
struct IconImage {
    unsigned width = 0, height = 0, colorCount = 0, planes = 0, bitCount = 0;
    std::string data;
};

std::vector<IconImage> parseIcoFile(const std::string& bytes) {
    std::vector<IconImage> images;
    const unsigned count = readLittleEndian(bytes, 4, 2);
    for (unsigned i = 0; i < count; ++i) {
        const std::size_t entry = 6 + 16 * i;
        IconImage image;
        image.width = readLittleEndian(bytes, entry, 1);
        image.height = readLittleEndian(bytes, entry + 1, 1);
        image.colorCount = readLittleEndian(bytes, entry + 2, 1);
        image.planes = readLittleEndian(bytes, entry + 4, 2);
        image.bitCount = readLittleEndian(bytes, entry + 6, 2);
        image.data =
            bytes.substr(readLittleEndian(bytes, entry + 12, 4), readLittleEndian(bytes, entry + 8, 4));
        images.push_back(image);
    }
    return images;
}

// An executable loaded for its resources only: none of its code runs.
class ResourceFile {
public:
    explicit ResourceFile(const std::string& path)
        : module_(LoadLibraryExW(tstrings::fromUtf8(path).c_str(), nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE)) {}

    bool loaded() const { return module_.get() != nullptr; }

    // The bytes of one resource in one language; nothing when there is no such resource.
    std::optional<std::string> bytes(LPCSTR type, unsigned id, WORD language = kEnglishUnitedStates) const {
        HRSRC found = FindResourceExA(module_.get(), type, MAKEINTRESOURCEA(id), language);
        if (!found) return std::nullopt;
        HGLOBAL loadedResource = LoadResource(module_.get(), found);
        if (!loadedResource) return std::nullopt;
        const char* data = static_cast<const char*>(LockResource(loadedResource));
        return std::string(data, SizeofResource(module_.get(), found));
    }

private:
    UniqueModule module_;
};

// The version resource as GetFileVersionInfo gives it to Explorer's Details tab.
class VersionInfo {
public:
    explicit VersionInfo(const std::string& path) {
        const std::wstring widePath = tstrings::fromUtf8(path);
        DWORD ignored = 0;
        const DWORD size = GetFileVersionInfoSizeW(widePath.c_str(), &ignored);
        if (size == 0) return;
        data_.resize(size);
        if (!GetFileVersionInfoW(widePath.c_str(), 0, size, data_.data())) data_.clear();
    }

    bool present() const { return !data_.empty(); }

    std::string text(const std::string& name) const {
        const std::wstring block = L"\\StringFileInfo\\040904b0\\" + tstrings::fromUtf8(name);
        void* value = nullptr;
        UINT length = 0;
        if (!VerQueryValueW(data_.data(), block.c_str(), &value, &length) || !value)
            return "<missing " + name + ">";
        std::wstring text(static_cast<const wchar_t*>(value), length);
        while (!text.empty() && text.back() == L'\0')
            text.pop_back();
        return tstrings::toUtf8(text);
    }

    VS_FIXEDFILEINFO fixed() const {
        void* value = nullptr;
        UINT length = 0;
        VS_FIXEDFILEINFO info{};
        if (VerQueryValueW(data_.data(), L"\\", &value, &length) && length >= sizeof(info))
            std::memcpy(&info, value, sizeof(info));
        return info;
    }

    std::vector<WORD> translations() const {
        void* value = nullptr;
        UINT length = 0;
        std::vector<WORD> words;
        if (VerQueryValueW(data_.data(), L"\\VarFileInfo\\Translation", &value, &length))
            words.assign(static_cast<const WORD*>(value),
                         static_cast<const WORD*>(value) + length / sizeof(WORD));
        return words;
    }

private:
    std::vector<char> data_;
};

std::string dottedVersion(DWORD most, DWORD least) {
    return std::to_string(HIWORD(most)) + "." + std::to_string(LOWORD(most)) + "." +
           std::to_string(HIWORD(least)) + "." + std::to_string(LOWORD(least));
}

// What one bootstrapper was built with.
struct Branding {
    std::string executable;  // next to this test program
    std::string icon;        // the .ico file given, copied next to this test program
    std::string version;
    std::string company, product, description, copyright, internalName, originalFilename;
};

std::ostream& operator<<(std::ostream& stream, const Branding& branding) {
    return stream << branding.executable;
}

const Branding kDefaultBranding{"packaging_default.exe",
                                "packaging-data\\kiteboot.ico",
                                KITEBOOT_VERSION,
                                "The kiteboot developers",
                                "kiteboot",
                                KITEBOOT_DESCRIPTION,
                                "Copyright (C) The kiteboot developers",
                                "packaging_default",
                                "packaging_default.exe"};

const Branding kVendorBranding{"vendor setup.exe",
                               "packaging-data\\vendor.ico",
                               "2.3.4.5",
                               "Vendor \"Quoted\" Corp",
                               "Установщик 中文",
                               "Vendor Product Setup (C:\\new\\tools)",
                               "© 2026 Vendor Corp",
                               "vendor setup",
                               "vendor setup.exe"};

class BootstrapperResources : public ::testing::TestWithParam<Branding> {};

TEST_P(BootstrapperResources, VersionStringsAreTheGivenOnes) {
    const Branding& expected = GetParam();
    const VersionInfo info(siblingProgram(expected.executable));
    ASSERT_TRUE(info.present()) << "no version resource, error " << GetLastError();
    EXPECT_EQ(info.text("CompanyName"), expected.company);
    EXPECT_EQ(info.text("ProductName"), expected.product);
    EXPECT_EQ(info.text("FileDescription"), expected.description);
    EXPECT_EQ(info.text("LegalCopyright"), expected.copyright);
    EXPECT_EQ(info.text("FileVersion"), expected.version);
    EXPECT_EQ(info.text("ProductVersion"), expected.version);
    EXPECT_EQ(info.text("InternalName"), expected.internalName);
    EXPECT_EQ(info.text("OriginalFilename"), expected.originalFilename);
}

TEST_P(BootstrapperResources, FixedVersionIsTheGivenOneForAnApplication) {
    const Branding& expected = GetParam();
    const VersionInfo info(siblingProgram(expected.executable));
    ASSERT_TRUE(info.present());
    const VS_FIXEDFILEINFO fixed = info.fixed();
    EXPECT_EQ(fixed.dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(dottedVersion(fixed.dwFileVersionMS, fixed.dwFileVersionLS), expected.version);
    EXPECT_EQ(dottedVersion(fixed.dwProductVersionMS, fixed.dwProductVersionLS), expected.version);
    EXPECT_EQ(fixed.dwFileType, static_cast<DWORD>(VFT_APP));
    EXPECT_EQ(fixed.dwFileOS, static_cast<DWORD>(VOS_NT_WINDOWS32));
    EXPECT_EQ(fixed.dwFileFlags, 0u);
    EXPECT_EQ(info.translations(), (std::vector<WORD>{0x0409, 1200}));
}

TEST_P(BootstrapperResources, IconGroup101HoldsTheImagesOfTheGivenIcon) {
    const Branding& expected = GetParam();
    const ResourceFile file(siblingProgram(expected.executable));
    ASSERT_TRUE(file.loaded()) << "error " << GetLastError();
    const std::vector<IconImage> images = parseIcoFile(readFile(siblingProgram(expected.icon)));
    const std::optional<std::string> group = file.bytes(RT_GROUP_ICON, 101);
    ASSERT_TRUE(group.has_value());
    // GRPICONDIR: reserved, type 1, count; then one 14-byte GRPICONDIRENTRY per image, naming its RT_ICON.
    ASSERT_EQ(group->size(), 6 + 14 * images.size());
    EXPECT_EQ(readLittleEndian(*group, 0, 2), 0u);
    EXPECT_EQ(readLittleEndian(*group, 2, 2), 1u);
    ASSERT_EQ(readLittleEndian(*group, 4, 2), images.size());
    for (std::size_t i = 0; i < images.size(); ++i) {
        SCOPED_TRACE("image " + std::to_string(i));
        const std::size_t entry = 6 + 14 * i;
        EXPECT_EQ(readLittleEndian(*group, entry, 1), images[i].width);
        EXPECT_EQ(readLittleEndian(*group, entry + 1, 1), images[i].height);
        EXPECT_EQ(readLittleEndian(*group, entry + 2, 1), images[i].colorCount);
        EXPECT_EQ(readLittleEndian(*group, entry + 4, 2), images[i].planes);
        EXPECT_EQ(readLittleEndian(*group, entry + 6, 2), images[i].bitCount);
        EXPECT_EQ(readLittleEndian(*group, entry + 8, 4), images[i].data.size());
        const std::optional<std::string> image = file.bytes(RT_ICON, readLittleEndian(*group, entry + 12, 2));
        ASSERT_TRUE(image.has_value());
        EXPECT_TRUE(*image == images[i].data) << "the image bytes differ from the .ico file's";
    }
}

TEST_P(BootstrapperResources, ManifestIsResourceOneInEnglish) {
    const ResourceFile file(siblingProgram(GetParam().executable));
    ASSERT_TRUE(file.loaded());
    const std::optional<std::string> manifest = file.bytes(RT_MANIFEST, 1);
    ASSERT_TRUE(manifest.has_value()) << "no RT_MANIFEST 1 in language 1033";
    EXPECT_TRUE(*manifest == readFile(siblingProgram("packaging-data\\kiteboot.manifest")));
}

TEST_P(BootstrapperResources, PayloadIsTheDemoInstaller) {
    const ResourceFile file(siblingProgram(GetParam().executable));
    ASSERT_TRUE(file.loaded());
    const std::optional<std::string> payload = file.bytes(RT_RCDATA, 100);
    ASSERT_TRUE(payload.has_value());
    EXPECT_TRUE(*payload == readFile(siblingProgram("demo-installer.exe")));
}

INSTANTIATE_TEST_SUITE_P(Packaging, BootstrapperResources,
                         ::testing::Values(kDefaultBranding, kVendorBranding));

}  // namespace
