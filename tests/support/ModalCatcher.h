#pragma once
#include "support/Rig.h"
