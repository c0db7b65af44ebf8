#pragma once

namespace aviolog::model {

// Where the flight is, as the recorder's monitor sees it; the phase it dispatches on.
enum class FlightPhase : unsigned {
    WaitingForBlocksOff = 0,
    TaxiingOut = 1,
    Airborne = 2,
    TaxiingIn = 3,
    StopRequested = 4,
    Stopped = 5,
};

}  // namespace aviolog::model
