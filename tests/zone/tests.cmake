# kxzone against BIND on the zone corpus (tests/zone/corpus) and the case table. Labelled
# "integration". The program comes from this build (in-tree) or from ORVO_PROGRAM_DIR when
# the tests are built against an installed library.
if(TARGET kxzone)
  set(ORVO_KXZONE_PROGRAM $<TARGET_FILE:kxzone>)
elseif(DEFINED ORVO_PROGRAM_DIR)
  set(ORVO_KXZONE_PROGRAM ${ORVO_PROGRAM_DIR}/kxzone)
else()
  message(STATUS "kxzone integration tests skipped: no kxzone target and no ORVO_PROGRAM_DIR")
  return()
endif()

# The Windows build compares its kxzone, under Wine, with a Linux build's (ORVO_LINUX_KXZONE);
# BIND's checks run in the Linux build.
if(WIN32)
  if(ORVO_LINUX_KXZONE AND CMAKE_CROSSCOMPILING_EMULATOR)
    add_test(NAME kxzone_wine
      COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/zone_wine.sh ${ORVO_LINUX_KXZONE} ${ORVO_KXZONE_PROGRAM}
              ${CMAKE_CURRENT_LIST_DIR}/corpus)
    set_tests_properties(kxzone_wine PROPERTIES LABELS integration TIMEOUT 600
      ENVIRONMENT "${ORVO_WINE_ENVIRONMENT};ORVO_WINE=${ORVO_WINE}")
  elseif(NOT ORVO_LINUX_KXZONE)
    message(STATUS "kxzone Wine comparison skipped: ORVO_LINUX_KXZONE names no Linux kxzone")
  else()
    message(STATUS "kxzone Wine comparison skipped: this build's programs do not run under Wine here")
  endif()
  return()
endif()

# The command line: exit statuses, messages, standard input, -o, --json, --version, progress.
add_test(NAME kxzone_cli
  COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/zone_cli.sh ${ORVO_KXZONE_PROGRAM} ${orvo_VERSION}
          ${CMAKE_CURRENT_LIST_DIR}/../..)
set_tests_properties(kxzone_cli PROPERTIES LABELS integration TIMEOUT 300)

find_program(ORVO_NAMED_COMPILEZONE named-compilezone PATHS /usr/bin /usr/sbin)
if(NOT ORVO_NAMED_COMPILEZONE)
  message(STATUS "kxzone corpus test skipped: named-compilezone (bind9-utils) is not installed")
  return()
endif()

add_test(NAME kxzone_corpus
  COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/zone_corpus.sh ${ORVO_KXZONE_PROGRAM} ${CMAKE_CURRENT_LIST_DIR}/corpus)
set_tests_properties(kxzone_corpus PROPERTIES LABELS integration TIMEOUT 120)

# Small zone texts, each loaded by BIND and read alike through kxzone, or refused by both at
# the same line. Every cases*.txt is a table of its own (cases.txt, cases-NAME.txt), run as
# kxzone_cases or kxzone_cases_NAME.
find_program(ORVO_NAMED_CHECKZONE named-checkzone PATHS /usr/bin /usr/sbin)
if(ORVO_NAMED_CHECKZONE)
  file(GLOB ORVO_ZONE_CASE_TABLES CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/cases*.txt)
  foreach(table IN LISTS ORVO_ZONE_CASE_TABLES)
    get_filename_component(stem ${table} NAME_WE)
    string(REPLACE "-" "_" stem ${stem})
    add_test(NAME kxzone_${stem}
      COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/zone_cases.sh ${ORVO_KXZONE_PROGRAM} ${table}
              ${CMAKE_CURRENT_LIST_DIR}/corpus)
    set_tests_properties(kxzone_${stem} PROPERTIES LABELS integration TIMEOUT 300)
  endforeach()
else()
  message(STATUS "kxzone case test skipped: named-checkzone (bind9-utils) is not installed")
endif()

# Zones signed at test time by BIND's dnssec-signzone (NSEC, NSEC3) and by ldns-signzone (with
# ZONEMD): checked, round-tripped through "kxzone format" and verified again.
find_program(ORVO_DNSSEC_SIGNZONE dnssec-signzone PATHS /usr/bin /usr/sbin)
find_program(ORVO_LDNS_SIGNZONE ldns-signzone PATHS /usr/bin)
if(ORVO_DNSSEC_SIGNZONE AND ORVO_LDNS_SIGNZONE)
  add_test(NAME kxzone_signed COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/zone_signed.sh ${ORVO_KXZONE_PROGRAM})
  set_tests_properties(kxzone_signed PROPERTIES LABELS integration TIMEOUT 300)
else()
  message(STATUS "kxzone signed-zone test skipped: dnssec-signzone (bind9-utils) or ldns-signzone (ldnsutils) is not installed")
endif()

# The zone-level checks beside named-checkzone and kzonecheck: what each flags in each zone of
# checks.txt, and kxzone's verdict.
find_program(ORVO_KZONECHECK kzonecheck PATHS /usr/bin /usr/sbin)
if(ORVO_NAMED_CHECKZONE AND ORVO_KZONECHECK)
  add_test(NAME kxzone_checks
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/zone_checks.sh ${ORVO_KXZONE_PROGRAM} ${CMAKE_CURRENT_LIST_DIR}/checks.txt)
  set_tests_properties(kxzone_checks PROPERTIES LABELS integration TIMEOUT 300)
else()
  message(STATUS "kxzone zone check comparison skipped: named-checkzone or kzonecheck is not installed")
endif()
