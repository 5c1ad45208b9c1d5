#pragma once

// Process-wide settings the program makes once its application object exists and before its
// window is built; tools that build the window themselves (the soak) make the same ones.
void applyProcessSettings();
