#include "scankit/vital_folders.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

using namespace hollowmere;
using namespace std::string_view_literals;

namespace {

struct CanonicalCase {
    std::string_view path;
    std::string_view expected;
};

struct RefusalCase {
    std::string_view path;
    std::string_view root;
    bool vital;
};

void expectCanonical(const VitalFolders::Rules& rules, const std::vector<CanonicalCase>& cases) {
    for (const auto& c : cases) {
        EXPECT_EQ(VitalFolders::canonical(c.path, rules), c.expected) << "path: " << c.path;
    }
}

// Every case is also checked with a trailing "/" on the path and on the root, which must not
// change the answer.
void expectRefusals(const VitalFolders::Rules& rules, const std::vector<RefusalCase>& cases) {
    for (const auto& c : cases) {
        const std::string path(c.path), root(c.root);
        EXPECT_EQ(VitalFolders::refuses(path, root, rules), c.vital) << path << " on " << root;
        if (path != "/") {
            EXPECT_EQ(VitalFolders::refuses(path + "/", root, rules), c.vital) << path << "/ on " << root;
        }
        if (root != "/") {
            EXPECT_EQ(VitalFolders::refuses(path, root + "/", rules), c.vital) << path << " on " << root << "/";
        }
    }
}

} // namespace

TEST(VitalFolders, MacCanonicalFoldsTheDataVolumeAndPrivateLinks) {
    expectCanonical(VitalFolders::macRules(), {
        {"/System/Volumes/Data", "/"},
        {"/System/Volumes/Data/", "/"},
        {"/System/Volumes/Data/Users/ann", "/Users/ann"},
        {"/System/Volumes/Data/Users", "/Users"},
        {"/System/Volumes/Data/usr/local/bin", "/usr/local/bin"},
        {"/System/Volumes/Data/private/var/db", "/private/var/db"},
        {"/System/Volumes/Data/System/Library/Caches/x", "/System/Library/Caches/x"},
        // Not a data-volume root, or not a whole component of one: unchanged.
        {"/System/Volumes/Data/Foo", "/System/Volumes/Data/Foo"},
        {"/System/Volumes/Data/usr/bin", "/System/Volumes/Data/usr/bin"},
        {"/System/Volumes/Data/Usersx", "/System/Volumes/Data/Usersx"},
        {"/System/Volumes/DataX/Users", "/System/Volumes/DataX/Users"},
        // The firmlinked top folders live under /private.
        {"/tmp/x", "/private/tmp/x"},
        {"/etc", "/private/etc"},
        {"/var/", "/private/var"},
        {"/etcetera", "/etcetera"},
        {"/private/etc", "/private/etc"},
        // Only one trailing slash goes; "/" stays; repeated slashes collapse.
        {"/", "/"},
        {"/Users/ann/", "/Users/ann"},
        {"//Users//ann//", "/Users/ann"},
    });
}

TEST(VitalFolders, LinuxCanonicalHasNoDataVolumeAndFoldsRunLinks) {
    expectCanonical(VitalFolders::linuxRules(), {
        {"/System/Volumes/Data", "/System/Volumes/Data"},
        {"/System/Volumes/Data/Users/ann", "/System/Volumes/Data/Users/ann"},
        {"/tmp/x", "/tmp/x"},
        {"/etc", "/etc"},
        {"/var/run", "/run"},
        {"/var/run/user/1000", "/run/user/1000"},
        {"/var/lock/", "/run/lock"},
        {"/var/runner", "/var/runner"},
        {"/home/ann/", "/home/ann"},
        {"/", "/"},
    });
}

TEST(VitalFolders, MacRuleOnTheStartupDisk) {
    expectRefusals(VitalFolders::macRules(), {
        {"/", "/", true},
        {"/System/Volumes/Data", "/", true},
        {"/Users/ann", "/", true},
        {"/Users/ann/Documents", "/", true},
        {"/Users/ann/.Trash", "/", true},
        {"/Users/ann/Library", "/", true},
        {"/Users/ann/Library/Caches", "/", true},
        {"/Users/ann/Library/Keychains", "/", true},
        {"/Users/ann/Library/Keychains/login.keychain-db", "/", true},
        {"/Users/ann/Library/Keychains/ABC/keychain-2.db", "/", true},
        {"/System/Volumes/Data/Users/ann/Library/Caches", "/", true},
        {"/Library/Fonts", "/", true},
        {"/Library/Keychains/System.keychain", "/", true},
        {"/Library/Application Support/com.apple.TCC/TCC.db", "/", true},
        {"/private/var/db", "/", true},
        {"/var/db", "/", true},
        {"/usr/local", "/", true},
        {"/private/var/log", "/", true},
        {"/private/tmp", "/", true},
        {"/tmp", "/", true},
        {"/usr/bin/true", "/", true},
        {"/usr/localx", "/", true}, // inside /usr, not inside /usr/local
        {"/System/Volumes/Data/Foo", "/", true}, // inside /System
        {"/Applications/Utilities", "/", true},
        {"/.Trashes", "/", true},
        {"/.Spotlight-V100/Store-V2", "/", true},
        {"/\0\0\0\0HFS+ Private Data"sv, "/", true},
        {"/.HFS+ Private Directory Data\r", "/", true},

        {"/Users/ann/Documents/report.pdf", "/", false},
        {"/Users/ann/Library/Caches/com.example", "/", false},
        {"/Users/ann/Library/Application Support/Tool", "/", false},
        {"/Users/ann/Library/KeychainsOld", "/", false},
        {"/Users/ann/Library/keychains", "/", false}, // case matters
        {"/Users/ann/Music/song.m4a", "/", false},
        {"/Users/ann/Projects", "/", false},
        {"/Users/ann/.Trashes", "/", false},
        {"/Library/Fonts/Extra.ttf", "/", false},
        {"/Library/Caches/com.example", "/", false},
        {"/Library/Application Support/Tool", "/", false},
        {"/usr/local/bin", "/", false},
        {"/usr/local/Cellar/tool", "/", false},
        {"/private/var/log/system.log", "/", false},
        {"/var/log/system.log", "/", false},
        {"/private/tmp/x", "/", false},
        {"/Applications/Tool.app", "/", false},
        {"/opt/homebrew/Cellar", "/", false},
    });
}

TEST(VitalFolders, MacRuleOnAnotherVolume) {
    expectRefusals(VitalFolders::macRules(), {
        {"/Volumes/Ext", "/Volumes/Ext", true},
        {"/Volumes/Ext/.Trashes", "/Volumes/Ext", true},
        {"/Volumes/Ext/.Spotlight-V100/Store-V2", "/Volumes/Ext", true},
        {"/Volumes/Ext/.fseventsd", "/Volumes/Ext", true},

        {"/Volumes/Ext2/.Trashes", "/Volumes/Ext", false}, // not below this root
        {"/Volumes/Ext.Trashes", "/Volumes/Ext", false},
        {"/Volumes/Ext/Movies/.Trashes", "/Volumes/Ext", false}, // only the first component
        {"/Volumes/Ext/Movies", "/Volumes/Ext", false},
        {"/Volumes/Ext/Users/ann", "/Volumes/Ext", false},
        {"/Volumes/Other", "/Volumes/Ext", false},
    });
}

TEST(VitalFolders, LinuxRuleOnTheSystemVolume) {
    expectRefusals(VitalFolders::linuxRules(), {
        {"/", "/", true},
        {"/home", "/", true},
        {"/home/ann", "/", true},
        {"/home/ann/Documents", "/", true},
        {"/home/ann/Templates", "/", true},
        {"/home/ann/.config", "/", true},
        {"/home/ann/.cache", "/", true},
        {"/home/ann/snap", "/", true},
        {"/home/ann/.ssh", "/", true},
        {"/home/ann/.ssh/id_ed25519", "/", true},
        {"/home/ann/.gnupg/private-keys-v1.d/x.key", "/", true},
        {"/home/ann/.local/share/keyrings", "/", true},
        {"/home/ann/.local/share/keyrings/login.keyring", "/", true},
        {"/home/ann/.pki/nssdb", "/", true},
        {"/root", "/", true},
        {"/root/.config", "/", true},
        {"/root/.ssh/authorized_keys", "/", true},
        {"/usr", "/", true},
        {"/usr/bin/ls", "/", true},
        {"/usr/local", "/", true},
        {"/etc/passwd", "/", true},
        {"/boot/vmlinuz", "/", true},
        {"/var", "/", true},
        {"/var/lib/dpkg/status", "/", true},
        {"/var/log", "/", true},
        {"/var/cache", "/", true},
        {"/var/tmp", "/", true},
        {"/var/run", "/", true},
        {"/var/run/dbus", "/", true},
        {"/run/user/1000", "/", true},
        {"/tmp", "/", true},
        {"/lost+found", "/", true},
        {"/.Trash-1000", "/", true},
        {"/.snapshots/12/snapshot", "/", true},
        {"/snap", "/", true},

        {"/home/ann/Documents/report.pdf", "/", false},
        {"/home/ann/Downloads/debian.iso", "/", false},
        {"/home/ann/.cache/thumbnails", "/", false},
        {"/home/ann/.config/tool", "/", false},
        {"/home/ann/.local/share", "/", false},
        {"/home/ann/.local/share/Steam", "/", false},
        {"/home/ann/.local/share/keyrings-old", "/", false},
        {"/home/ann/.sshd", "/", false},
        {"/home/ann/Projects", "/", false},
        {"/home/ann/Library", "/", false},
        {"/home/ann/.Trash-1000", "/", false}, // metadata only right below a volume root
        {"/root/Documents", "/", false},
        {"/root/notes.txt", "/", false},
        {"/usr/local/bin", "/", false},
        {"/usr/local/share/tool", "/", false},
        {"/var/log/syslog", "/", false},
        {"/var/cache/apt", "/", false},
        {"/var/tmp/build", "/", false},
        {"/tmp/x", "/", false},
        {"/opt/tool", "/", false},
        {"/srv/www", "/", false},
        {"/snap/core/123", "/", false},
        {"/media/ann", "/", false},
        // The macOS layout means nothing here.
        {"/Users/ann", "/", false},
        {"/Library/Fonts", "/", false},
        {"/private/var/db", "/", false},
    });
}

TEST(VitalFolders, LinuxRuleOnAnotherVolume) {
    constexpr std::string_view usb = "/media/ann/USB";
    expectRefusals(VitalFolders::linuxRules(), {
        {usb, usb, true},
        {"/media/ann/USB/.Trash-1000", usb, true},
        {"/media/ann/USB/.Trash/1000/files", usb, true},
        {"/media/ann/USB/lost+found", usb, true},
        {"/media/ann/USB/System Volume Information", usb, true},
        {"/media/ann/USB/$RECYCLE.BIN/S-1-5-21", usb, true},
        {"/media/ann/USB/.Trashes", usb, true},

        {"/media/ann/USB/.Trashy", usb, false},
        {"/media/ann/USB/Movies", usb, false},
        {"/media/ann/USB/Movies/.Trash-1000", usb, false},
        {"/media/ann/USB2/.Trash-1000", usb, false},
        {"/media/ann/USB.Trash-1000", usb, false},
        {"/mnt/backup/.Trash-1000", usb, false},
    });
}

TEST(VitalFolders, UncleanSpellingsCannotEscapeTheRule) {
    // Each names a vital place, or could name any place, through a spelling the tree never
    // builds: repeated slashes, "." or "..", or no leading "/".
    for (const auto* rules : {&VitalFolders::macRules(), &VitalFolders::linuxRules()}) {
        EXPECT_TRUE(VitalFolders::refuses("//usr/bin", "/", *rules));
        EXPECT_TRUE(VitalFolders::refuses("/opt/x/../../etc", "/", *rules));
        EXPECT_TRUE(VitalFolders::refuses("/opt/./x", "/", *rules));
        EXPECT_TRUE(VitalFolders::refuses("/opt/tool/..", "/", *rules));
        EXPECT_TRUE(VitalFolders::refuses("", "/", *rules));
        EXPECT_TRUE(VitalFolders::refuses("opt/tool", "/", *rules));
        EXPECT_FALSE(VitalFolders::refuses("/opt/tool", "/", *rules));
        EXPECT_FALSE(VitalFolders::refuses("/opt/..tool/...", "/", *rules));
    }
    EXPECT_TRUE(VitalFolders::refuses("//etc/passwd", "/", VitalFolders::linuxRules()));
    EXPECT_TRUE(VitalFolders::refuses("/var//run", "/", VitalFolders::linuxRules()));
    EXPECT_TRUE(VitalFolders::refuses("//Users", "/", VitalFolders::macRules()));
}

TEST(VitalFolders, DefaultsToThisPlatformsRule) {
#if defined(__APPLE__)
    const auto& expected = VitalFolders::macRules();
#else
    const auto& expected = VitalFolders::linuxRules();
#endif
    EXPECT_EQ(&VitalFolders::platformRules(), &expected);
    // Paths on which the two rule sets disagree.
    for (std::string_view path : {"/home/ann/.ssh", "/Users/ann", "/var/db", "/private/var/db", "/etc/x"}) {
        EXPECT_EQ(VitalFolders::refuses(path, "/"), VitalFolders::refuses(path, "/", expected)) << path;
        EXPECT_EQ(VitalFolders::canonical(path), VitalFolders::canonical(path, expected)) << path;
    }
}
