#pragma once
// The ids of the sixteen tool presets. Every preset names the Corvane brush class; its id is
// how every layer of the module tells the tools apart. There is no tool 15.

#include <cstdint>

namespace corvane {

enum ToolId : uint32_t {
    kToolSculpt = 0,
    kToolSmear = 1,
    kToolPinch = 2,
    kToolSmooth = 3,
    kToolAmplify = 4,
    kToolFlatten = 5,
    kToolScrape = 6,
    kToolFill = 7,
    kToolWax = 8,
    kToolBulge = 9,
    kToolSpray = 10,
    kToolRepeat = 11,
    kToolKnife = 12,
    kToolFoamy = 13,
    kToolImprint = 14,
    kToolRelax = 16,
};

}  // namespace corvane
