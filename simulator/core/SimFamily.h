#pragma once

// The simulator keeps its own family names apart from the program's, so that it stays an
// independent check of the program's model rules; the reply table and the interpreter share them.
namespace sim {

enum class Family
{
    Dimmer5,
    Dimmer2,
    Receiver
};

} // namespace sim
