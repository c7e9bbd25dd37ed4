// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
// The command line.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QTemporaryDir>
#include <QUrl>

#ifdef Q_OS_UNIX
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "app/App.h"
#include "app/Backends.h"
#include "app/Options.h"
#include "update/UpdateQuery.h"
#include "app/frmMain.h"

TEST(Options, UnderstoodArguments) {
    Options o = parse_options({"--demo", "--update-host", "127.0.0.1:8080"});
    EXPECT_TRUE(o.demo);
    EXPECT_EQ(o.update_host, "127.0.0.1:8080");
    EXPECT_TRUE(o.error.isEmpty());

    o = parse_options({"--update-host=updates.example.org"});
    EXPECT_EQ(o.update_host, "updates.example.org");
    EXPECT_FALSE(o.demo);

    // Host names, IPv4 and bracketed IPv6, each with and without a port, and
    // the update query's URL still carries each as its host.
    const std::pair<const char*, int> hosts[] = {
        {"updates.example.org", -1}, {"localhost:1", 1}, {"a-b.c9:65535", 65535}, {"10.0.0.255", -1},
        {"[::1]", -1}, {"[::1]:8080", 8080}, {"[2001:db8::1]:443", 443},
    };
    for (const auto& [host, port] : hosts) {
        EXPECT_EQ(parse_options({"--update-host", host}).update_host, host);
        const QUrl url(update::build_update_url(host, {}), QUrl::StrictMode);
        EXPECT_TRUE(url.isValid()) << host;
        EXPECT_EQ(url.port(), port) << host;
        EXPECT_EQ(url.adjusted(QUrl::RemoveQuery).toString(), "http://" + QString(host) + "/scripts/shifter.php") << host;
    }

    EXPECT_TRUE(parse_options({"--version"}).show_version);
    EXPECT_TRUE(parse_options({"--help"}).show_help);
    EXPECT_TRUE(parse_options({}).error.isEmpty());
}

TEST(Options, RefusedArguments) {
    const QStringList bad[] = {
        {"--update-host"},                // value missing
        {"--update-host", ""},
        {"--update-host", "host:0"},
        {"--update-host", "host:65536"},
        {"--update-host", "host:http"},
        {"--update-host", "http://host/x"},
        {"--update-host=:80"},
        {"--update-host", "host:+80"},
        {"--update-host", "host:"},
        {"--update-host", "::1"},
        {"--update-host", "[::1"},
        {"--update-host", "[::1]80"},
        {"--update-host", "[fe80::1%eth0]"},
        {"--update-host", "a?b:80"},
        {"--update-host", "host\n"},
        {"--update-host", " host"},
        {"--update-host", "-host"},
        {"--update-host", "a..b"},
        {"--update-host", QString(64, 'a') + ".org"},
        {"--update-host", QString(63, 'a') + "." + QString(63, 'b') + "." + QString(63, 'c') + "." + QString(62, 'd')},
        {"--update-host", "1.2.3"},       // numbers only: an IPv4 address or nothing
        {"--update-host", "256.1.1.1"},
        {"--update-host", "010.0.0.1"},
        {"--frobnicate"},
        {"demo"},
    };
    for (const QStringList& args : bad) {
        const Options o = parse_options(args);
        EXPECT_FALSE(o.error.isEmpty()) << args.join(' ').toStdString();
        EXPECT_TRUE(o.update_host.isEmpty()) << args.join(' ').toStdString();
    }
}

TEST(Options, TheDemoKeepsItsOwnStoreAndRemovesItAtExit) {
    int argc = 1;
    char name[] = "test_options";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    // A temporary folder of the test's own, so that no other demo is touched.
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QByteArray tmpdir = qgetenv("TMPDIR");
    qputenv("TMPDIR", QFile::encodeName(tmp.path()));
    ASSERT_EQ(QDir::tempPath(), QDir(tmp.path()).canonicalPath());
    const QString prefix = tmp.path() + '/' + kDemoStorePrefix;
#ifdef Q_OS_UNIX
    // A demo that was killed: its store and its lock stay behind.
    const QString killed = prefix + "killed";
    ASSERT_TRUE(QDir().mkdir(killed));
    const pid_t child = ::fork();
    if (child == 0) {
        QLockFile lock(killed + '/' + kDemoStoreLock);
        ::_exit(lock.tryLock(0) ? 0 : 1);
    }
    int status = -1;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
#endif
    QString folder;
    {
        // One that another running demo uses stays.
        const BackendChoice running = choose_backend(true, 0x1209, false);
        const BackendChoice demo = choose_backend(true, 0x1209, false);
        folder = app_config(parse_options({"--demo"}), demo).box_store_folder;
        ASSERT_FALSE(folder.isEmpty());
        EXPECT_TRUE(folder.startsWith(prefix)) << folder.toStdString();
        EXPECT_TRUE(QDir(folder).exists());
        EXPECT_TRUE(QDir(running.box_store_folder()).exists());
        EXPECT_NE(running.box_store_folder(), folder);
        // Marked in use while its demo runs.
        QLockFile in_use(running.box_store_folder() + '/' + kDemoStoreLock);
        in_use.setStaleLockTime(0);
        EXPECT_FALSE(in_use.tryLock(0));
#ifdef Q_OS_UNIX
        EXPECT_EQ(QFileInfo(folder).permissions() & (QFile::ReadGroup | QFile::ReadOther | QFile::ExeOther), 0);
        EXPECT_FALSE(QDir(killed).exists());
#endif
    }
    EXPECT_FALSE(QDir(folder).exists());
    if (tmpdir.isNull())
        qunsetenv("TMPDIR");
    else
        qputenv("TMPDIR", tmpdir);
    // A real box is kept in the user's own store.
    EXPECT_TRUE(app_config(parse_options({}), choose_backend(false, 0x1209, false)).box_store_folder.isEmpty());
}
