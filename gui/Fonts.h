#pragma once

class QFont;
struct TFont;

// The font a control asks for, or the closest the system has: the Windows families of the
// design fall back to the system's general or fixed-pitch font at the same point size. A
// control without a family of its own takes Inherited with its own size and weight.
QFont ResolveFont(const TFont& Font, const QFont& Inherited);
