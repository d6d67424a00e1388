// Starting the system information program, with fake programs on a temporary PATH.
#include "core/systeminfo.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "../support/fakes.h"
#include "../support/waituntil.h"

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {
namespace {

using testing::FakePrompts;
using testing::MemorySettings;

class SystemInfoTest : public ::testing::Test {
protected:
    void SetUp() override {
        oldPath = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(dir.path()));
    }
    void TearDown() override { qputenv("PATH", oldPath); }

    // A program that writes its name and arguments into a file when it runs.
    QString fakeProgram(const QString& name, const QByteArray& interpreter = "/bin/sh") {
        const QString path = dir.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("#!" + interpreter + "\necho \"$0 $#\" > '" + QFile::encodeName(ran(name)) + "'\n");
        f.close();
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return path;
    }
    QString ran(const QString& name) const { return dir.filePath(name + u".ran"_s); }
    bool waitForRun(const QString& name) {
        return lyrevane::testing::waitUntil([&] { return QFile::exists(ran(name)); },
                                            std::chrono::seconds(30));
    }

    QTemporaryDir dir;
    QByteArray oldPath;
    MemorySettings store;
    FakePrompts prompts;
};

TEST_F(SystemInfoTest, TheStoredPathStartsAsItStandsWithoutArguments) {
    const QString path = fakeProgram(u"my info tool"_s);
    fakeProgram(u"kinfocenter"_s);
    store.Set(kSystemInfoSection, u"Path", path);
    EXPECT_TRUE(startSysInfo(store, prompts));
    ASSERT_TRUE(waitForRun(u"my info tool"_s));
    QFile f(ran(u"my info tool"_s));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll().trimmed(), QFile::encodeName(path) + " 0");
    EXPECT_FALSE(QFile::exists(ran(u"kinfocenter"_s)));
    EXPECT_TRUE(prompts.messages.isEmpty());
}

TEST_F(SystemInfoTest, AStoredPathThatDoesNotStartIsUnavailableWithoutFallingBack) {
    fakeProgram(u"kinfocenter"_s);
    for (const QString& stored : {dir.filePath(u"missing"_s), dir.path()}) {
        prompts.messages.clear();
        store.Set(kSystemInfoSection, u"Path", stored);
        EXPECT_FALSE(startSysInfo(store, prompts));
        EXPECT_EQ(prompts.messages,
                  QStringList{u"System Information Is Unavailable At This Time"_s});
        EXPECT_EQ(prompts.icons.back(), MessageIcon::None);
    }
    EXPECT_FALSE(QFile::exists(ran(u"kinfocenter"_s)));
}

TEST_F(SystemInfoTest, TheFirstWellKnownProgramOnPathThatStarts) {
    // Found but broken (its interpreter is missing), then a working one, then another.
    fakeProgram(u"hardinfo2"_s, "/nonexistent/interpreter");
    fakeProgram(u"cpu-x"_s);
    fakeProgram(u"lshw-gtk"_s);
    EXPECT_TRUE(startSysInfo(store, prompts));
    ASSERT_TRUE(waitForRun(u"cpu-x"_s));
    EXPECT_FALSE(QFile::exists(ran(u"lshw-gtk"_s)));
    EXPECT_TRUE(prompts.messages.isEmpty());
}

TEST_F(SystemInfoTest, NothingOnPathIsUnavailable) {
    fakeProgram(u"not-an-info-tool"_s);
    EXPECT_FALSE(startSysInfo(store, prompts));
    EXPECT_EQ(prompts.messages, QStringList{u"System Information Is Unavailable At This Time"_s});
}

}  // namespace
}  // namespace lyrevane
