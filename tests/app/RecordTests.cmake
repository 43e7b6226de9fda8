# Tests of the recording control: its rules over a table of sources, and the PulseAudio
# provider against a private server.
tardivox_add_test(app_audio_record_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/AudioRecord_test.cpp
  LIBS tardivox_app)

# The private server comes from the audio tests' fixture helper (tests/audio/CMakeLists.txt,
# scripts/pulse-test-server.sh); its start and stop tests bracket the suite, so the server is
# stopped even when the suite fails. The suite also compares names with the wave service.
set(pulse_script ${PROJECT_SOURCE_DIR}/scripts/pulse-test-server.sh)
if(COMMAND tardivox_pulse_server AND TARGET tardivox_audio AND EXISTS ${pulse_script})
  tardivox_pulse_server(app_record_pulse_server)
  tardivox_add_test(app_pulse_audio_record_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/PulseAudioRecordServer_test.cpp
    LIBS tardivox_app tardivox_audio
    THREADS
    TIMEOUT 120
    FIXTURES app_record_pulse_server
    ENVIRONMENT "PULSE_SERVER=unix:${app_record_pulse_server_dir}/native"
                "TARDIVOX_PULSE_SCRIPT=${pulse_script}"
                "TARDIVOX_PULSE_DIR=${app_record_pulse_server_dir}")
else()
  message(STATUS "app_pulse_audio_record_test: no private PulseAudio fixture, suite skipped")
endif()
