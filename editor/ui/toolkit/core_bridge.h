// Where the core meets the window layer. The core knows neither windows nor device contexts; the
// editor hands it the window layer's message boxes for its alerts and the layer's StretchDIBits
// for drawing its images. StartToolkit installs both.
#pragma once

namespace kv {

// Routes the core's alerts and questions to message boxes (kept on top, no owner).
void InstallAlertMessageBoxes();
// Makes CDIB::Draw and DrawPart draw through the window layer's StretchDIBits.
void InstallImageDrawing();

}  // namespace kv
