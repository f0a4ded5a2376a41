#pragma once

class QStyle;

// The style of the window's group boxes: a frame with the title set into its top line, as
// the design expects, instead of a title above the frame, where the controls placed just
// under the title would cross the line. The controls inside keep the application's style.
// One shared instance, freed with the application object.
QStyle* GroupBoxStyle();
