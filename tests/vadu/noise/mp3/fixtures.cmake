# MP3 fixtures, made at build time: a generator writes the source signals and lame encodes
# them with the settings each test case needs. Nothing of it is committed.
set(MP3_FIXTURE_DIR ${CMAKE_CURRENT_BINARY_DIR}/mp3_fixtures)
add_executable(mp3_signals ${PROJECT_SOURCE_DIR}/tests/helpers/mp3_signals.cpp)
add_custom_command(
  OUTPUT ${MP3_FIXTURE_DIR}/music.wav ${MP3_FIXTURE_DIR}/clicks.wav ${MP3_FIXTURE_DIR}/loud.wav ${MP3_FIXTURE_DIR}/quiet.wav
  COMMAND ${CMAKE_COMMAND} -E make_directory ${MP3_FIXTURE_DIR}
  COMMAND mp3_signals ${MP3_FIXTURE_DIR}
  DEPENDS mp3_signals
  COMMENT "Writing MP3 source signals")

# name | source | lame options
set(MP3_FIXTURES
  "js128|music|-t -b 128 -m j"
  "ms|music|-t -b 160 -m f"
  "st48|music|-t -b 192 -m s --resample 48"
  "mono32|music|-t -b 320 -m m --resample 32"
  "dual|music|-t -b 128 -m d"
  "crc|music|-t -b 128 -p"
  "nores|music|-t -b 128 --nores"
  "vbr|music|-t -V 2"
  "vbrinfo|music|-V 2"
  "short|clicks|-t -b 128"
  "loud|loud|-t -b 256 -m s"
  "quiet|quiet|-t -b 32 -m m --resample 32"
  "lsf22|music|-t -b 64 -m j --resample 22.05"
  "lsf24|music|-t -b 32 -m m --resample 24"
  "lsf16|music|-t -V 5 --resample 16"
  "mpeg25|music|-t -b 16 --resample 8"
  "tagged|music|--add-id3v2 --tt Quillo")
set(MP3_FIXTURE_FILES)
foreach(entry ${MP3_FIXTURES})
  string(REPLACE "|" ";" fields "${entry}")
  list(GET fields 0 name)
  list(GET fields 1 source)
  list(GET fields 2 options)
  separate_arguments(options UNIX_COMMAND "${options}")
  add_custom_command(
    OUTPUT ${MP3_FIXTURE_DIR}/${name}.mp3
    COMMAND lame --quiet ${options} ${MP3_FIXTURE_DIR}/${source}.wav ${MP3_FIXTURE_DIR}/${name}.mp3
    DEPENDS ${MP3_FIXTURE_DIR}/${source}.wav
    COMMENT "Encoding MP3 fixture ${name}")
  list(APPEND MP3_FIXTURE_FILES ${MP3_FIXTURE_DIR}/${name}.mp3)
endforeach()
add_custom_target(mp3_fixtures DEPENDS ${MP3_FIXTURE_FILES})

find_package(PkgConfig REQUIRED)
pkg_check_modules(MPG123 REQUIRED IMPORTED_TARGET libmpg123)
