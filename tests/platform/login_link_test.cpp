// The login link as the desktop reads it: on POSIX the desktop entry is
// parsed back by the Desktop Entry rules, on Windows the shell link is
// loaded through the shell.
#include "support/test_support.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <shlobj.h>

#include "platform/win32/com.h"
#endif

#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>

#include "dialogs/startup_shortcut.h"
#include "platform/executable_path.h"
#include "platform/login_link.h"
#include "text/convert.h"
#ifdef _WIN32
#include "text/win32/wide.h"
#endif

namespace molvar::platform {
namespace {

namespace fs = std::filesystem;
using test::Sj;
using test::SjPath;
using namespace text;

#ifdef _WIN32
using win32::ComApartment;
using win32::ComOwner;

// The link of the program itself, read back through the shell; a real
// Windows user's own link is never touched.
TEST(LoginLinkTest, TheStartupShortcutStartsTheRunningProgramShownNormally) {
    const auto path = LoginLinkPath("Molvar"_cp);
    ASSERT_TRUE(path);
    const fs::path link = *ToWide(*path);
    ASSERT_EQ(link.filename(), L"Molvar.lnk");
    if (fs::exists(link)) {
        GTEST_SKIP() << "Molvar.lnk is in the Startup folder already";
    }
    dialogs::CreateStartupShortcut();
    ASSERT_TRUE(fs::exists(link));
    {
        const ComApartment com;
        IShellLinkW* rawLink = nullptr;
        ASSERT_HRESULT_SUCCEEDED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                                    reinterpret_cast<void**>(&rawLink)));
        const ComOwner<IShellLinkW> shellLink(rawLink);
        IPersistFile* rawFile = nullptr;
        ASSERT_HRESULT_SUCCEEDED(shellLink->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&rawFile)));
        const ComOwner<IPersistFile> file(rawFile);
        ASSERT_HRESULT_SUCCEEDED(file->Load(link.c_str(), STGM_READ));

        wchar_t text[1024] = {};
        ASSERT_HRESULT_SUCCEEDED(shellLink->GetPath(text, 1024, nullptr, SLGP_RAWPATH));
        EXPECT_EQ(FromWide(text), RunningExecutablePath());
        ASSERT_HRESULT_SUCCEEDED(shellLink->GetDescription(text, 1024));
        EXPECT_EQ(FromWide(text), Sj(u8"フォルダ監視"));
        ASSERT_HRESULT_SUCCEEDED(shellLink->GetArguments(text, 1024));
        EXPECT_STREQ(text, L"");
        int show = 0;
        ASSERT_HRESULT_SUCCEEDED(shellLink->GetShowCmd(&show));
        EXPECT_EQ(show, SW_SHOWNORMAL);
    }
    dialogs::DeleteStartupShortcut();
    EXPECT_FALSE(fs::exists(link));
    EXPECT_TRUE(DeleteLoginLink("Molvar"_cp));  // gone already
}
#else
// A desktop entry string value with its escapes undone; empty on an escape
// the Desktop Entry rules do not have.
std::optional<std::string> UnescapeString(std::string_view value) {
    std::string text;
    for (std::size_t k = 0; k < value.size(); ++k) {
        if (value[k] != '\\') {
            text += value[k];
            continue;
        }
        constexpr std::string_view escapes = "sntr\\", meanings = " \n\t\r\\";
        const auto at = ++k == value.size() ? std::string_view::npos : escapes.find(value[k]);
        if (at == std::string_view::npos) return std::nullopt;
        text += meanings[at];
    }
    return text;
}

// The one argument of an Exec value (string escapes undone already): in
// double quotes, where '"', '`', '$' and '\' come only escaped, and '%' only
// as "%%". Empty when the value is anything else.
std::optional<std::string> UnquoteExecArgument(std::string_view exec) {
    if (exec.size() < 2 || exec.front() != '"' || exec.back() != '"') return std::nullopt;
    const std::string_view inside = exec.substr(1, exec.size() - 2);
    std::string argument;
    for (std::size_t k = 0; k < inside.size(); ++k) {
        const char c = inside[k];
        if (c == '\\' || c == '%') {
            const std::string_view escaped = c == '\\' ? "\"`$\\" : "%";
            if (k + 1 == inside.size() || escaped.find(inside[k + 1]) == std::string_view::npos) return std::nullopt;
            argument += inside[++k];
        } else if (c == '"' || c == '`' || c == '$') {
            return std::nullopt;
        } else {
            argument += c;
        }
    }
    return argument;
}

// The keys of the "[Desktop Entry]" group, which must come first, with
// their string escapes undone.
std::map<std::string, std::string> ReadDesktopEntry(const fs::path& file) {
    std::istringstream lines(test::ReadText(file));
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, "[Desktop Entry]");
    std::map<std::string, std::string> keys;
    while (std::getline(lines, line) && !line.starts_with('[')) {
        const auto equals = line.find('=');
        if (line.empty() || line.starts_with('#') || equals == std::string::npos) {
            ADD_FAILURE() << "not a key: " << line;
            continue;
        }
        const auto value = UnescapeString(std::string_view(line).substr(equals + 1));
        EXPECT_TRUE(value) << line;
        EXPECT_FALSE(keys.contains(line.substr(0, equals))) << line;
        keys[line.substr(0, equals)] = value.value_or("");
    }
    return keys;
}

class LoginLinkTest : public ::testing::Test {
protected:
    fs::path Link() const { return config_.path() / "autostart" / "Molvar.desktop"; }
    // The program that the link starts, checked against the quoting rules.
    std::optional<std::string> LinkedProgram() const { return UnquoteExecArgument(ReadDesktopEntry(Link())["Exec"]); }

    test::TempFolder config_;
    test::ScopedEnv configHome_{"XDG_CONFIG_HOME", test::Utf8(config_.path())};
};

class LoginLinkTargetTest : public LoginLinkTest, public ::testing::WithParamInterface<const char*> {};

// Every character that the Exec quoting or the string escapes treat
// specially comes back as it was.
TEST_P(LoginLinkTargetTest, ExecStartsExactlyTheTarget) {
    const std::string target = test::Utf8(config_.path()) + "/" + GetParam();
    ASSERT_TRUE(CreateLoginLink("Molvar"_cp, SjPath(target), Sj(u8"説明")));
    const auto keys = ReadDesktopEntry(Link());
    EXPECT_EQ(keys.at("Type"), "Application");
    EXPECT_EQ(keys.at("Name"), "Molvar");
    EXPECT_EQ(keys.at("Comment"), test::Utf8(u8"説明"));
    EXPECT_EQ(UnquoteExecArgument(keys.at("Exec")), target);
}

INSTANTIATE_TEST_SUITE_P(Targets, LoginLinkTargetTest,
                         ::testing::Values("molvar", "Molvar 3/molvar", "a\"b/molvar", "$HOME/molvar", "a`id`/molvar",
                                           "a\\b/molvar", "100%/molvar", "%f %%/molvar", "監視表/molvar",
                                           "x\\\\$`\"%\\/molvar"));

TEST_F(LoginLinkTest, TheStartupShortcutStartsTheRunningProgram) {
    ASSERT_FALSE(fs::exists(config_.path() / "autostart"));
    const fs::path executable = fs::read_symlink("/proc/self/exe");
    EXPECT_EQ(RunningExecutablePath(), SjPath(executable));

    // Made in the folder it makes, and made again over a link to another program.
    dialogs::CreateStartupShortcut();
    EXPECT_EQ(LinkedProgram(), test::Utf8(executable));
    ASSERT_TRUE(CreateLoginLink("Molvar"_cp, "/opt/other"_cp, "other"_cp));
    EXPECT_EQ(LinkedProgram(), "/opt/other");
    dialogs::CreateStartupShortcut();
    const auto keys = ReadDesktopEntry(Link());
    EXPECT_EQ(keys.at("Comment"), test::Utf8(u8"フォルダ監視"));
    EXPECT_EQ(UnquoteExecArgument(keys.at("Exec")), test::Utf8(executable));
    EXPECT_EQ(keys.at("Terminal"), "false");

    dialogs::DeleteStartupShortcut();
    EXPECT_FALSE(fs::exists(Link()));
    EXPECT_TRUE(DeleteLoginLink("Molvar"_cp));  // gone already
    EXPECT_TRUE(fs::is_directory(config_.path() / "autostart"));
}

// Control characters come back from the comment's escapes; in Exec desktops
// read them differently, so such a target is refused, as is one that would
// be looked up in PATH.
TEST_F(LoginLinkTest, ControlCharactersAreEscapedInTheCommentAndRefusedInExec) {
    ASSERT_TRUE(CreateLoginLink("Molvar"_cp, "/opt/molvar"_cp, "one\ntwo\tthree\r\\"_cp));
    EXPECT_EQ(ReadDesktopEntry(Link()).at("Comment"), "one\ntwo\tthree\r\\");
    for (const auto* target : {"/opt/a\nb", "/opt/a\tb", "molvar", ""}) {
        EXPECT_FALSE(CreateLoginLink("Molvar"_cp, Cp932String::FromBytes(target), "x"_cp)) << target;
    }
    EXPECT_EQ(LinkedProgram(), "/opt/molvar");  // the earlier link stays
}
#endif

}  // namespace
}  // namespace molvar::platform
