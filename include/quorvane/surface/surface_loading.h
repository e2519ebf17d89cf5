// Loading image files into surfaces.
#pragma once
