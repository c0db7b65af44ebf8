#pragma once

#include <array>
#include <string>

#include "config/settings.h"

namespace aviolog::model {

// The end-of-flight values, filled when the log stops; members carry the names of the
// keys they are stored under.
struct FlightSummary {
    std::string Date;
    std::string Hour;
    std::string CallSign;
    std::string FlightIATA;
    std::string AircraftRegist;
    std::string DepAirport;
    std::string DestAirport;
    std::string AltAirport;
    std::string PlaneType;
    std::string UsedFuel;
    std::string InitialFuel;
    std::string FuelEnd;
    std::string FlightDur;
    std::string FlightLength;
    std::string RateTD;
    std::string speedTD;
    std::string ZFW;
    std::string logText;  // every line of the flight log, each followed by a line feed
    // The landing analysis, stored after the keys older readers know; empty without it.
    // Last in the record too, where a summary filled value by value in the key order of
    // before still fills the keys it names.
    std::string TouchdownG = {};
    std::string Bounces = {};
    std::string BounceRates = {};  // each bounce's rate at contact, ft/min, separated by ';'
    std::string TouchdownPitch = {};
    std::string TouchdownBank = {};
    std::string TouchdownGS = {};
    std::string Sink50ft = {};
    std::string Sink20ft = {};
    std::string ThresholdDist = {};
    std::string CentreLineDist = {};
    std::string LandingNote = {};  // why there are no figures, or what the VA should know

    bool operator==(const FlightSummary&) const = default;
};

// One value of the summary and every name it goes by: the key it is stored under, its
// row in the results view, the "Send Log" switch that lets it out, and its parameter of
// the VA's PIREP script. Walked in this order everywhere.
struct SummaryField {
    const char* key;
    std::string FlightSummary::*value;
    const char* resultsLabel;                  // nullptr: not in the results view
    bool config::SendLogSection::*sendSwitch;  // nullptr: never sent that way
    const char* scriptParameter;               // nullptr: not sent to the script
};

inline constexpr int kSummaryFieldCount = 28;
// The keys every reader knows come first; the landing analysis's follow them.
inline constexpr int kFirstLandingField = 17;
inline constexpr std::array<SummaryField, kSummaryFieldCount> kSummaryFields{{
    {"Date", &FlightSummary::Date, "Start Flight UTC Date", &config::SendLogSection::Date, "date"},
    {"Hour", &FlightSummary::Hour, "Start Flight UTC Hour", &config::SendLogSection::Hour, "time"},
    {"CallSign", &FlightSummary::CallSign, "Callsign", &config::SendLogSection::Callsign,
     "callsign"},
    {"FlightIATA", &FlightSummary::FlightIATA, "Flight Number", &config::SendLogSection::IATAN,
     nullptr},
    {"AircraftRegist", &FlightSummary::AircraftRegist, "Aicraft Registration",
     &config::SendLogSection::Regist, "reg"},
    {"DepAirport", &FlightSummary::DepAirport, "Departure", &config::SendLogSection::Depart,
     "origin"},
    {"DestAirport", &FlightSummary::DestAirport, "Destination", &config::SendLogSection::Arrival,
     "dest"},
    {"AltAirport", &FlightSummary::AltAirport, nullptr, &config::SendLogSection::Alternate, "alt"},
    {"PlaneType", &FlightSummary::PlaneType, "Plane Type", &config::SendLogSection::PlaneType,
     "equipment"},
    {"UsedFuel", &FlightSummary::UsedFuel, "Spent Fuel", &config::SendLogSection::SpentFuel,
     "fuel"},
    {"InitialFuel", &FlightSummary::InitialFuel, "Intial Fuel", &config::SendLogSection::IniFuel,
     nullptr},
    {"FuelEnd", &FlightSummary::FuelEnd, "End Fuel", &config::SendLogSection::EndFuel, nullptr},
    {"FlightDur", &FlightSummary::FlightDur, "Flight duration", &config::SendLogSection::Dur,
     "duration"},
    {"FlightLength", &FlightSummary::FlightLength, "Flight length", &config::SendLogSection::Len,
     "distance"},
    {"RateTD", &FlightSummary::RateTD, "Landing V/S", &config::SendLogSection::TD, nullptr},
    {"speedTD", &FlightSummary::speedTD, "Landing speed", &config::SendLogSection::TD, nullptr},
    {"ZFW", &FlightSummary::ZFW, "Zero Fuel Weight", &config::SendLogSection::ZFW, nullptr},
    {"TouchdownG", &FlightSummary::TouchdownG, "Landing G", nullptr, nullptr},
    {"Bounces", &FlightSummary::Bounces, "Bounces", nullptr, nullptr},
    {"BounceRates", &FlightSummary::BounceRates, nullptr, nullptr, nullptr},
    {"TouchdownPitch", &FlightSummary::TouchdownPitch, nullptr, nullptr, nullptr},
    {"TouchdownBank", &FlightSummary::TouchdownBank, nullptr, nullptr, nullptr},
    {"TouchdownGS", &FlightSummary::TouchdownGS, nullptr, nullptr, nullptr},
    {"Sink50ft", &FlightSummary::Sink50ft, "Sink rate at 50 ft", nullptr, nullptr},
    {"Sink20ft", &FlightSummary::Sink20ft, nullptr, nullptr, nullptr},
    {"ThresholdDist", &FlightSummary::ThresholdDist, "Touchdown from threshold", nullptr, nullptr},
    {"CentreLineDist", &FlightSummary::CentreLineDist, nullptr, nullptr, nullptr},
    {"LandingNote", &FlightSummary::LandingNote, "Landing note", nullptr, nullptr},
}};

// The file a flight's landing page is kept in beside the log, named after the flight's
// start ("2024/06/14", "09:25:00" gives "landing-20240614-0925.htm"): the local database
// page links each of its flights to its own.
inline std::string landingPageName(const std::string& date, const std::string& hour) {
    std::string name = "landing-";
    for (const char c : date) {
        if (c >= '0' && c <= '9') name += c;
    }
    name += '-';
    int digits = 0;
    for (const char c : hour) {
        if (c >= '0' && c <= '9' && digits < 4) {
            name += c;
            ++digits;
        }
    }
    return name + ".htm";
}

}  // namespace aviolog::model
