# The readers other than PNG; included from image/CMakeLists.txt.
target_sources(quorvane PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/bmp_reader.cpp
  ${CMAKE_CURRENT_LIST_DIR}/dds_reader.cpp
  ${CMAKE_CURRENT_LIST_DIR}/hdr_reader.cpp
  ${CMAKE_CURRENT_LIST_DIR}/jpeg_reader.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pfm_reader.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ppm_reader.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tga_reader.cpp
)
