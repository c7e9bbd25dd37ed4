// The command line.
#include <gtest/gtest.h>

#include "Options.h"

TEST(Options, UnderstoodArguments) {
    Options o = parse_options({"--demo", "--update-host", "127.0.0.1:8080"});
    EXPECT_TRUE(o.demo);
    EXPECT_EQ(o.update_host, "127.0.0.1:8080");
    EXPECT_TRUE(o.error.isEmpty());

    o = parse_options({"--update-host=updates.example.org"});
    EXPECT_EQ(o.update_host, "updates.example.org");
    EXPECT_FALSE(o.demo);

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
        {"--frobnicate"},
        {"demo"},
    };
    for (const QStringList& args : bad) {
        const Options o = parse_options(args);
        EXPECT_FALSE(o.error.isEmpty()) << args.join(' ').toStdString();
        EXPECT_TRUE(o.update_host.isEmpty()) << args.join(' ').toStdString();
    }
}
