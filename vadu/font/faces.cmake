# The game's TrueType faces come from Debian's fonts-dejavu-core (scripts/install-deps.sh);
# no face file is kept in the project. They are found here, at configure time, and staged
# under lower-case names; the program's data assembly copies them into data/fonts/.
execute_process(COMMAND dpkg -L fonts-dejavu-core OUTPUT_VARIABLE QUILLO_DEJAVU_FILES
                RESULT_VARIABLE QUILLO_DEJAVU_RESULT ERROR_QUIET)
set(QUILLO_FONT_STAGING ${PROJECT_BINARY_DIR}/font-faces CACHE INTERNAL "Staged TrueType faces")
set(generated_fonts "")
file(MAKE_DIRECTORY ${QUILLO_FONT_STAGING})
foreach(face DejaVuSans DejaVuSans-Bold DejaVuSansMono)
  string(REGEX MATCH "[^\n]*/${face}\\.ttf" face_path "${QUILLO_DEJAVU_FILES}")
  if(NOT QUILLO_DEJAVU_RESULT EQUAL 0 OR NOT face_path OR NOT EXISTS "${face_path}")
    message(FATAL_ERROR "The game needs ${face}.ttf from the Debian package fonts-dejavu-core, "
                        "which is not installed: run scripts/install-deps.sh")
  endif()
  string(TOLOWER "${face}.ttf" staged_name)
  file(COPY_FILE "${face_path}" "${QUILLO_FONT_STAGING}/${staged_name}" ONLY_IF_DIFFERENT)
  list(APPEND generated_fonts fonts/${staged_name})
endforeach()
set(QUILLO_GENERATED_FONTS ${generated_fonts} CACHE INTERNAL "Faces copied into the program's data/")
