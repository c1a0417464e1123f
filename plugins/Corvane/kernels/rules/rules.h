#pragma once
// The tool rules: how a weight becomes a vertex's displacement, one small struct per family.
//   DisplacementRule  Sculpt, Smear, Bulge, Foamy, Spray, Repeat, Knife, Imprint: along a
//                     direction, by the weighted length.
//   PinchRule         Pinch: a tenth of the weighted fraction of the way to the brush centre.
//   PlaneRule         Amplify, Flatten, Scrape, Fill, Wax: towards (or away from) the dab's
//                     plane, lifted for Wax, clamped for Scrape and Fill.
//   SmoothingRule     Smooth, Relax: towards the target the smoothing neighbourhood gives.

#include "kernels/rules/displacement_rule.h"
#include "kernels/rules/pinch_rule.h"
#include "kernels/rules/plane_rule.h"
#include "kernels/rules/smoothing_rule.h"
