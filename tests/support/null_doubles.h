#pragma once

// Doubles that do nothing, or the least their caller needs, shared by the tests and the
// benchmarks. Header-only: the benchmarks link neither the tests' support library nor
// GoogleTest. What a double keeps is only what a test looks at, and never grows inside a
// benchmark's loop unless the benchmark clears it.

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "mail/mailer.h"
#include "model/flight_record.h"
#include "model/flight_services.h"
#include "platform/dynamic_library.h"
#include "platform/pilot.h"
#include "platform/sound.h"

namespace aviolog::test {

// Composes no ACARS message and sends none.
struct NullAcars : model::AcarsComposer {
    void outMessage(int, int, double, double) override {}
    void offMessage(int, int, double, double) override {}
    void onMessage(int, int, double, double) override {}
    void inMessage(const model::BlocksOnReport&) override {}
    void positionReport() override {}
    void metarMessage(const std::string&) override {}
    void freeTextMessage(int, int, const std::string&) override {}
};

// A weather service that never has a METAR.
struct NoMetar : model::MetarFetcher {
    std::optional<std::string> fetch(const std::string&) override { return std::nullopt; }
};

// A cockpit terminal that is never connected.
struct ClosedGauge : model::GaugeLink {
    bool isOpen() const override { return false; }
    void open(const std::string&) override {}
    void page2Lines(const std::string&) override {}
    void page1Lines(const std::string&) override {}
    void showPage(const model::MenuPage&) override {}
    void refresh() override {}
};

struct NullLiveLink : model::LiveLink {
    void sendPosition() override {}
    void pollUplink() override {}
};

// An aircraft whose flap detents have no names.
struct NoFlapNames : model::FlapNames {
    std::optional<std::string> name(int) const override { return std::nullopt; }
};

// Keeps every accepted flight (and forgets it).
struct AcceptingStore : model::FlightStore {
    bool store(const model::AcceptedFlight&) override { return true; }
};

// Answers every box with its first button (Yes to a question) and every chooser with
// Cancel; keeps the texts of the boxes.
struct FirstButtonPilot : platform::Pilot {
    platform::MessageAnswer show(const platform::Message& message) override {
        boxes.push_back(message.text);
        return message.buttons == platform::MessageButtons::YesNo ? platform::MessageAnswer::Yes
                                                                  : platform::MessageAnswer::Ok;
    }
    std::optional<std::string> chooseFolder(const std::string&) override { return {}; }
    std::optional<std::filesystem::path> chooseFileToOpen(const platform::FileRequest&) override {
        return {};
    }
    std::optional<std::filesystem::path> chooseFileToSave(const platform::FileRequest&) override {
        return {};
    }
    std::vector<std::string> boxes;
};

// Plays nothing; counts the loops started and keeps the files played once.
struct SilentSound : platform::Sound {
    void playLoop(const std::string&) override { ++loopsStarted; }
    void stop() override {}
    void playOnce(const std::string& path) override { playedOnce.push_back(path); }
    int loopsStarted = 0;
    std::vector<std::string> playedOnce;
};

// Finds no library: the cargo plug-in is not installed.
struct NoLibraries : platform::LibraryLoader {
    std::unique_ptr<platform::DynamicLibrary> load(const std::string&) override { return nullptr; }
};

// The flight data form of a flight from Lisbon to Porto at FL240, once the pilot has typed
// it (formFilled).
struct FilledForm : model::FlightForm {
    void readInto(model::FlightRecord& record) override {
        if (!formFilled) return;
        record.departureIcao = "LPPT";
        record.arrivalIcao = "LPPR";
        record.flightLevel = "FL240";
        record.route = "DCT";
    }
    const model::DateTimeBox& dateTimeBox() const override { return box; }
    void setCargo(const std::string&) override {}
    model::DateTimeBox box;
    bool formFilled = true;
};

// Takes every mail and sends none.
struct AcceptingMailer : mail::Mailer {
    bool send(const mail::OutgoingMail&) override { return true; }
};

// Everything around the recorder, doing nothing but answering: one object for every port,
// so that model::FlightServices{world, world, world, world, world, world} wires it.
struct QuietWorld : NullAcars,
                    NoMetar,
                    ClosedGauge,
                    NullLiveLink,
                    NoFlapNames,
                    AcceptingStore,
                    FirstButtonPilot,
                    SilentSound,
                    NoLibraries,
                    FilledForm {};

}  // namespace aviolog::test
