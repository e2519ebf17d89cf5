// Vector, matrix, quaternion and half-float functions.
#pragma once
