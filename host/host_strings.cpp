#include "host_strings.h"

StringTable &hostStrings()
{
    static StringTable table{
        {HostString::AppTitle, "VRN-Control"},
        {HostString::FrameTitle, "VRN-Control"},
        {HostString::Version, "Version"},
        {HostString::Build, "Build"},
        {HostString::OldVersion, "Old Version"},
        {HostString::WrongOs, "Wrong operating system!\nCurrent OS: ######\nMinimum OS: Windows 2000"},
        {HostString::SecondInstance, "There is another instance of VRN-Control already running!"},
        {HostString::Company, "Varnel Tonsysteme GmbH"},
        {HostString::Notice, "\xC2\xA9 Varnel Tonsysteme GmbH"},
        {HostString::Load, "Load"},
        {HostString::Plugin, "Plugin"},
        {HostString::StartHost, "Start VRN-Control"},
        {HostString::CloseQuestion, "Close VRN-Control?"},
        {HostString::SocketInit, "Socket init fails!"},
        {HostString::About, "About"},
        {HostString::UpdateTitle, "Please wait for Update ..."},
        {HostString::UpdateConnecting, "Connecting to Internet ..."},
        {HostString::UpdateGetVersion, "Get UpdateVersion ..."},
        {HostString::UpdateLatest, "Current version is the latest version!  No upgrade is required!"},
        {HostString::UpdateGetUpdater, "Get Updater from Internet ..."},
        {HostString::UpdateDisconnecting, "Disconnectig from Internet ..."},
        {HostString::UpdateMove, "Move Updater ..."},
        {HostString::UpdateCannotMove, "Cannot move downloaded upgrade file to execution location!"},
        {HostString::UpdateExecute, "Execute Updater ..."},
        {HostString::UpdateReceived, "Received"},
        {HostString::UpdateRemaining, "Remaining Time"},
        {HostString::UpdateSpeed, "Speed"},
        {HostString::UpdateSize, "Size"},
        {HostString::UpdateElapsed, "Elapsed Time"},
        {HostString::UpdateLoad, "Load..."},
    };
    return table;
}
