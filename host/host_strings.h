#pragma once

#include "StringTable.h"

// String numbers of the host's own texts.
namespace HostString {
enum : unsigned {
    AppTitle = 128,
    FrameTitle = 57344,
    Version = 4001,
    Build = 4002,
    OldVersion = 4003,
    WrongOs = 4004,
    SecondInstance = 4005,
    Company = 4006,
    Notice = 4007,
    Load = 4008,
    Plugin = 4009,
    StartHost = 4010,
    CloseQuestion = 4011,
    SocketInit = 4013,
    About = 4014,
    UpdateTitle = 4012,
    UpdateConnecting = 4055,
    UpdateGetVersion = 4056,
    UpdateLatest = 4057,
    UpdateGetUpdater = 4058,
    UpdateDisconnecting = 4059,
    UpdateMove = 4060,
    UpdateCannotMove = 4061,
    UpdateExecute = 4062,
    UpdateReceived = 4070,
    UpdateRemaining = 4071,
    UpdateSpeed = 4072,
    UpdateSize = 4073,
    UpdateElapsed = 4074,
    UpdateLoad = 4075,
};
}

// The host's string table; tests may remove entries to see the fallbacks.
StringTable &hostStrings();
