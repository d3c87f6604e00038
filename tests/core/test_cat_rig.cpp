// SPDX-License-Identifier: GPL-3.0-or-later
#include "devices/cat/cat_rig.h"

#include "devices/cat/cat_dial.h"
#include "devices/cat/cat_keyer.h"
#include "devices/cat/keyer_opener.h"
#include "devices/cat/rig_models.h"
#include "devices/ptt.h"
#include "tests/core/rigctld.h"

#include <gtest/gtest.h>

#include <clocale>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace vesk {
namespace {

// Key and release read back through Hamlib, in-process and over the network, under a numeric
// locale other than "C" (as a program started in the operator's locale has), which Hamlib's
// own locale switching must neither trip over nor change.
TEST(CatRig, KeysAndReleasesTheDummyRigInProcessAndThroughRigctld) {
    ASSERT_NE(std::setlocale(LC_NUMERIC, "C.UTF-8"), nullptr);
    Rigctld server;
    ASSERT_TRUE(server.running()) << "rigctld (libhamlib-utils) did not start";
    for (const RigAddress& address :
         {RigAddress{1, "", 0}, RigAddress::rigctld(server.hostPort())}) {
        SCOPED_TRACE(address.model);
        CatRig rig;
        ASSERT_TRUE(rig.open(address).ok());
        for (const bool keyed : {true, false, true, false}) {
            ASSERT_TRUE(rig.setPtt(keyed).ok());
            EXPECT_EQ(rig.ptt(), keyed);
        }
    }
    EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C.UTF-8");
    std::setlocale(LC_NUMERIC, "C");
}

// The dial is set and read back through the keyer's own connection and through a rig opened
// for its dial alone; every mode a plan may name is one Hamlib knows by that name.
TEST(CatDial, SetsAndReadsBackFrequencyAndModeOnTheKeyersConnectionOrItsOwn) {
    Rigctld server;
    ASSERT_TRUE(server.running()) << "rigctld (libhamlib-utils) did not start";
    CatRig reader;
    ASSERT_TRUE(reader.open(RigAddress::rigctld(server.hostPort()), false).ok());
    Result<std::unique_ptr<Keyer>> keyer = openCatKeyer(RigAddress::rigctld(server.hostPort()));
    ASSERT_TRUE(keyer.ok()) << keyer.message();
    Dial* keyerDial = (*keyer)->dial();
    ASSERT_NE(keyerDial, nullptr);
    Result<std::unique_ptr<Dial>> own = openCatDial(RigAddress{1, "", 0});
    ASSERT_TRUE(own.ok()) << own.message();
    for (Dial* dial : {keyerDial, own->get()}) {
        for (const auto& [hertz, mode] : {std::pair<std::int64_t, std::string>{14'095'600, "USB"},
                                          {7'038'600, "LSB"},
                                          {10'138'700, "CW"}}) {
            EXPECT_TRUE(tuneDial(*dial, hertz, mode).ok()) << hertz << " " << mode;
            EXPECT_EQ(dial->frequency().value(), hertz);
            EXPECT_EQ(dial->mode().value(), mode);
        }
    }
    EXPECT_EQ(reader.frequency().value(), 10'138'700) << "not the rig rigctld serves";
    for (std::string mode = dialModeList(), word; !mode.empty();) {
        const std::size_t blank = mode.find(' ');
        word = mode.substr(0, blank);
        mode = blank == std::string::npos ? "" : mode.substr(blank + 1);
        EXPECT_TRUE(own->get()->setMode(word).ok()) << word;
        EXPECT_EQ(own->get()->mode().value(), word);
    }
    EXPECT_FALSE(own->get()->setMode("USB2").ok());
    (*keyer)->release();
    server.stop();
    const Result<> gone = keyerDial->setFrequency(14'095'600);
    EXPECT_EQ(gone.message(), "Hamlib NET rigctl at " + server.hostPort() +
                                  ": cannot set the frequency to 14095600 Hz: IO error");
}

// The list holds the in-process dummy and rigctld by number; search words narrow it whatever
// their case and order.
TEST(RigModels, HamlibListsItsModelsAndTheSearchNarrowsThem) {
    const std::vector<RigModelEntry> models = hamlibRigModels();
    ASSERT_GT(models.size(), 100u);
    EXPECT_EQ(models[0].model, 1);
    EXPECT_EQ(models[0].text, "1  Hamlib Dummy");
    EXPECT_EQ(models[1].text, "2  Hamlib NET rigctl");
    const std::vector<RigModelEntry> icom = filterRigModels(models, "  7300 icom ");
    ASSERT_FALSE(icom.empty());
    for (const RigModelEntry& entry : icom) {
        EXPECT_NE(entry.text.find("IC-7300"), std::string::npos) << entry.text;
    }
    EXPECT_EQ(filterRigModels(models, "").size(), models.size());
    EXPECT_TRUE(filterRigModels(models, "dummy nosuchrig").empty());
}

// Failures name the rig and give Hamlib's reason; nothing is left open.
TEST(CatRig, FailuresNameTheRigAndTheReason) {
    const std::string nobody = "127.0.0.1:" + std::to_string(freePort());
    const std::pair<RigAddress, std::string> cases[] = {
        {{99999, "", 0}, "rig model 99999: unknown to Hamlib"},
        {{-1, "", 0}, "rig model -1: unknown to Hamlib"},
        {{3073, "", 0}, "Icom IC-7300: no serial device given"},
        {RigAddress::rigctld(nobody), "Hamlib NET rigctl at " + nobody + ": cannot open: IO error"},
    };
    for (const auto& [address, message] : cases) {
        CatRig rig;
        EXPECT_EQ(rig.open(address).message(), message);
        EXPECT_FALSE(rig.isOpen());
        EXPECT_EQ(rig.ptt(), std::nullopt);
        EXPECT_EQ(rig.setPtt(true).message(), "the rig is not open");
    }
}

// The CAT keyer is handed out released (a rig left keyed by someone else is let go) and names
// the rig as the log does; a rig that cannot be opened gives no keyer. The PTT keys the rig on
// every path the lines take: key, release, shutdown; a rig gone away is reported once and never
// shown keyed. A second connection reads the state back.
TEST(CatRig, PttKeysTheRigAndReportsOneThatStopsAnswering) {
    Rigctld server;
    ASSERT_TRUE(server.running());
    CatRig reader;
    ASSERT_TRUE(reader.open(RigAddress::rigctld(server.hostPort())).ok());
    ASSERT_TRUE(reader.setPtt(true).ok());
    {
        Result<std::unique_ptr<Keyer>> keyer = openCatKeyer(RigAddress::rigctld(server.hostPort()));
        ASSERT_TRUE(keyer.ok()) << keyer.message();
        EXPECT_EQ(reader.ptt(), false) << "handed out keyed";
        EXPECT_EQ((*keyer)->description(), "CAT to rigctld at " + server.hostPort());
    }
    EXPECT_EQ(openCatKeyer({99999, "", 0}).message(), "rig model 99999: unknown to Hamlib");
    Ptt ptt(keyerOpener());
    std::vector<bool> labels;
    int failures = 0;
    ptt.setLabelHook([&](bool keyed) { labels.push_back(keyed); });
    ptt.setFailureHook([&] { ++failures; });
    PttChoice choice;
    choice.keyer = PttChoice::Keyer::Cat;
    choice.rig = RigAddress::rigctld(server.hostPort());
    ASSERT_TRUE(ptt.open(choice, 0).ok());
    ptt.pttOn();
    EXPECT_EQ(reader.ptt(), true);
    ptt.pttOff();
    EXPECT_EQ(reader.ptt(), false);
    ptt.pttOn();
    ptt.shutdown();
    EXPECT_EQ(reader.ptt(), false) << "left keyed on the way out";
    EXPECT_FALSE(ptt.isOpen());
    EXPECT_EQ(labels, (std::vector<bool>{true, false, true}));

    ASSERT_TRUE(ptt.open(choice, 0).ok());
    server.stop();
    labels.clear();
    ptt.pttOn();
    ptt.pttOn();
    EXPECT_EQ(labels, (std::vector<bool>{false, false}));
    EXPECT_FALSE(ptt.keyed());
    EXPECT_EQ(failures, 1);
    EXPECT_EQ(ptt.failure(),
              "Hamlib NET rigctl at " + server.hostPort() + ": cannot key: IO error");
}

} // namespace
} // namespace vesk
