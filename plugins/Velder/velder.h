#pragma once
// Velder: the host's dynamic-tessellation brush, the base class of sculpting brushes that
// refine the mesh under the brush while they stroke. It lives in its own plug-in module;
// brushes derive from it and keep its face test and tessellation.
//
// \note So far this is the class shell that derived brushes build on: its class record and
// its bases. The tessellation, its attributes and its stored form come with the brush host.

#include "tarnix/brush_operation.h"
#include "tarnix/enumerators.h"

class Velder : public tarnix::BrushOperation, public tarnix::FaceEnumerator {
public:
    Velder() = default;
    ~Velder() override = default;

    const tarnix::ClassDesc* GetClass() const override;
    static const tarnix::ClassDesc* StaticClass();
};
