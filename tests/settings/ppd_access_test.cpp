#include "settings/ppd_access.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "log/log4z.h"
#include "tests/settings/ppd_test_support.h"

namespace {

PpdFixture Options() {
    return PpdFixture()
        .Option("Density", {{"Light", "5"}, {"Normal", "15"}, {"Dark", "1"}}, "Normal")
        .Option("GAPHeight", {{"Small", "12.5"}, {"Odd", "abc"}, {"None", "-1"}}, "Small")
        .Option("Empty", {{"Blank", ""}}, "Blank")
        .Option("DriverLog", {{"0", "0"}, {"1", "1"}}, "0");
}

TEST(OptionChoiceTest, DefaultChoiceGivesItsCode) {
    OpenedPpd ppd(Options());
    ASSERT_NE(ppd.get(), nullptr);
    EXPECT_STREQ(GetOptionChoiceCode("Density", ppd.get()), "15");
    EXPECT_EQ(GetOptionChoiceIndex("Density", ppd.get()), 15);
}

TEST(OptionChoiceTest, JobOptionSelectsByChoiceNameAndYieldsTheCode) {
    OpenedPpd ppd(Options(), "Density=Dark");
    EXPECT_EQ(GetOptionChoiceIndex("Density", ppd.get()), 1)
        << "the last choice's code, not its position";
}

TEST(OptionChoiceTest, DecimalCodesAndCodesWithoutDigits) {
    OpenedPpd ppd(Options());
    EXPECT_EQ(GetOptionChoiceIndex("GAPHeight", ppd.get()), 12);
    EXPECT_FLOAT_EQ(GetOptionChoiceIndexf("GAPHeight", ppd.get()), 12.5f);
    OpenedPpd odd(Options(), "GAPHeight=Odd");
    EXPECT_EQ(GetOptionChoiceIndex("GAPHeight", odd.get()), 0);
    EXPECT_FLOAT_EQ(GetOptionChoiceIndexf("GAPHeight", odd.get()), 0.0f);
}

TEST(OptionChoiceTest, AbsentOptionsAndNullArgumentsReadAsMinusOne) {
    OpenedPpd ppd(Options());
    EXPECT_EQ(GetOptionChoiceCode("Missing", ppd.get()), nullptr);
    EXPECT_EQ(GetOptionChoiceIndex("Missing", ppd.get()), -1);
    EXPECT_FLOAT_EQ(GetOptionChoiceIndexf("Missing", ppd.get()), -1.0f);
    EXPECT_EQ(GetOptionChoiceIndex(nullptr, ppd.get()), -1);
    EXPECT_EQ(GetOptionChoiceIndex("Density", nullptr), -1);
    EXPECT_FLOAT_EQ(GetOptionChoiceIndexf("Density", nullptr), -1.0f);
    EXPECT_EQ(GetOptionChoiceIndex("Empty", ppd.get()), -1)
        << "a choice without a code has no value";
}

class UpdateLogStatusTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ILog4zManager* manager = ILog4zManager::getInstance();
        manager->setLoggerPath(LOG4Z_MAIN_LOGGER_ID, logDir.path().c_str());
        manager->setLoggerName(LOG4Z_MAIN_LOGGER_ID, "job");
        manager->start();
    }
    void TearDown() override { ILog4zManager::getInstance()->stop(); }
    std::string Log() const { return ReadFile(logDir.File("job.log")); }
    TempDir logDir;
};

TEST_F(UpdateLogStatusTest, DriverLogOnKeepsLogging) {
    OpenedPpd ppd(Options(), "DriverLog=1");
    EXPECT_TRUE(UpdateLogStatus(ppd.get()));
    LOGD("still logging");
    EXPECT_NE(Log().find("still logging"), std::string::npos);
}

TEST_F(UpdateLogStatusTest, DriverLogOffStopsLoggingForTheJob) {
    OpenedPpd ppd(Options());
    EXPECT_FALSE(UpdateLogStatus(ppd.get()));
    LOGD("must not appear");
    const std::string log = Log();
    EXPECT_NE(log.find("driver log record: 0"), std::string::npos);
    EXPECT_EQ(log.find("must not appear"), std::string::npos);
}

TEST(UpdateLogStatusDecisionTest, HeldStartOfTheJobIsWrittenOnlyWhenTheLogIsOn) {
    for (const bool on : {false, true}) {
        TempDir logDir;
        ILog4zManager* manager = ILog4zManager::getInstance();
        manager->setLoggerPath(LOG4Z_MAIN_LOGGER_ID, logDir.path().c_str());
        manager->setLoggerName(LOG4Z_MAIN_LOGGER_ID, "job");
        manager->holdLoggerOutput(LOG4Z_MAIN_LOGGER_ID);
        manager->start();
        LOGD("start of the job");
        OpenedPpd ppd(Options(), on ? "DriverLog=1" : "");
        EXPECT_EQ(UpdateLogStatus(ppd.get()), on);
        manager->stop();
        const bool exists = access(logDir.File("job.log").c_str(), F_OK) == 0;
        EXPECT_EQ(exists, on) << "the file exists only when the log is on";
        if (on) {
            EXPECT_NE(ReadFile(logDir.File("job.log")).find("start of the job"), std::string::npos);
        }
    }
}

TEST_F(UpdateLogStatusTest, MissingDriverLogStopsLogging) {
    OpenedPpd ppd(PpdFixture().NumericOption("Density", {"15"}, "15"));
    EXPECT_FALSE(UpdateLogStatus(ppd.get()));
    EXPECT_NE(Log().find("driver log record: -1"), std::string::npos);
    EXPECT_FALSE(ILog4zManager::getInstance()->prePushLog(LOG4Z_MAIN_LOGGER_ID, LOG_LEVEL_FATAL));
}

}  // namespace
