# Makes DESTINATION a copy of the SOURCE data folder, run by the build:
#   cmake -DSOURCE=<data/> -DDESTINATION=<build data/> [-DGENERATED=a.png,b/c.png] -P assemble_data.cmake
# Files are copied only when they differ. Files in DESTINATION that SOURCE no longer has
# are removed, except the GENERATED ones (paths relative to DESTINATION), which the
# generators write afterwards (the pictures listed in DESTINATION/.pictures too). Safe to run any number of times.
cmake_minimum_required(VERSION 3.25)

if(NOT SOURCE OR NOT DESTINATION)
  message(FATAL_ERROR "assemble_data.cmake needs -DSOURCE=... and -DDESTINATION=...")
endif()

# Older build trees linked data/ to the source folder: generated files must not land there.
if(IS_SYMLINK "${DESTINATION}")
  file(REMOVE "${DESTINATION}")
endif()
file(MAKE_DIRECTORY "${DESTINATION}")

file(GLOB_RECURSE wanted RELATIVE "${SOURCE}" LIST_DIRECTORIES false "${SOURCE}/*")
string(REPLACE "," ";" generated "${GENERATED}")
# The picture generator lists what it wrote last time; those stay too.
if(EXISTS "${DESTINATION}/.pictures")
  file(STRINGS "${DESTINATION}/.pictures" pictures)
  list(APPEND generated ${pictures} .pictures)
endif()

file(GLOB_RECURSE present RELATIVE "${DESTINATION}" LIST_DIRECTORIES false "${DESTINATION}/*")
foreach(name IN LISTS present)
  if(NOT name IN_LIST wanted AND NOT name IN_LIST generated)
    file(REMOVE "${DESTINATION}/${name}")
  endif()
endforeach()

foreach(name IN LISTS wanted)
  get_filename_component(folder "${DESTINATION}/${name}" DIRECTORY)
  file(MAKE_DIRECTORY "${folder}")
  file(COPY_FILE "${SOURCE}/${name}" "${DESTINATION}/${name}" ONLY_IF_DIFFERENT)
endforeach()
