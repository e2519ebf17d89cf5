// Quorvane: image loading into surfaces of GPU pixel formats, pixel
// conversion, and vector math, over a small Direct3D-style platform layer.
#pragma once

#include "quorvane/platform/win_types.h"
#include "quorvane/platform/win_kernel.h"
#include "quorvane/platform/win_registry.h"
#include "quorvane/platform/win_user.h"
#include "quorvane/platform/d3d9_types.h"
#include "quorvane/platform/d3d9.h"

#include "quorvane/math/math.h"
#include "quorvane/pixel/pixel_format.h"
#include "quorvane/pixel/pixel_codec.h"
#include "quorvane/image/decoded_image.h"
#include "quorvane/surface/surface_loading.h"
