// A stop request as the core's long loops ask it: true ends the loop early.
#pragma once

#include <functional>

using TStopCheck = std::function<bool()>;
