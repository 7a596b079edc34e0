// Opaque image and toolbox references that records name before their modules are built.
#pragma once

struct CGImage;
typedef CGImage* CGImageRef;

struct OpaqueControlRef;
typedef OpaqueControlRef* ControlRef;
struct OpaqueWindowPtr;
typedef OpaqueWindowPtr* WindowRef;
struct OpaqueCFBundle;
typedef OpaqueCFBundle* CFBundleRef;
