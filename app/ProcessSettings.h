#pragma once

// Process-wide settings the program makes once its application object exists and before its
// window is built: its identity, the web engine's defaults and resource limits. Tools that build
// the window themselves (the screenshot driver, the soak) make the same ones.
void applyProcessSettings();
