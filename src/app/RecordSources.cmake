# The recording control (input devices and lines) and its PulseAudio provider.
find_package(PkgConfig REQUIRED)
pkg_check_modules(PULSE REQUIRED IMPORTED_TARGET libpulse)

target_sources(tardivox_app PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/AudioRecord.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PulseAudioRecord.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PulseSourceClient.cpp
)
# The errors come from the locks library (Exceptions.h); libpulse is the sound server client.
target_link_libraries(tardivox_app PUBLIC tardivox_locks PkgConfig::PULSE Threads::Threads)
