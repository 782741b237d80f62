# Debian packages made by CPack (scripts/package): one package per install component of
# cmake/OrvoInstall.cmake. The version is the project's; the dependencies on shared libraries
# come from the binaries (dpkg-shlibdeps), plus what a binary loads without linking it.
if(WIN32)
  return()
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "orvo developers <orvo@localhost>")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING IGNORE)
set(CPACK_COMPONENTS_ALL dev adcheck kxzone)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)

set(CPACK_DEBIAN_DEV_PACKAGE_NAME liborvo-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
# The directory client's users link these libraries themselves (the library is static).
set(CPACK_DEBIAN_DEV_PACKAGE_RECOMMENDS "libldap-dev, libkrb5-dev")
set(CPACK_COMPONENT_DEV_DESCRIPTION
  "orvo C++20 library: headers, static libraries, CMake and pkg-config files
orvo offers messages and diagnostics, locks, events and threads, IPv4/IPv6 addresses and
socket endpoints, text, date and property helpers, and a DNS data model with a zone
master-file reader and writer (orvo::orvo, orvo.pc). Its directory client for Active
Directory (orvo::directory, orvo-directory.pc) needs libldap and libkrb5.")

set(CPACK_DEBIAN_ADCHECK_PACKAGE_NAME adcheck)
set(CPACK_DEBIAN_ADCHECK_PACKAGE_SECTION admin)
# libsasl2 loads its GSSAPI mechanism at run time, so no binary names it.
set(CPACK_DEBIAN_ADCHECK_PACKAGE_DEPENDS libsasl2-modules-gssapi-mit)
set(CPACK_COMPONENT_ADCHECK_DESCRIPTION
  "check one Active Directory account: SID, password and groups
adcheck finds an account's SID and domain, checks its password against the domain's
Kerberos KDC and lists every group it belongs to, nested groups included, over LDAP with
Kerberos (SASL GSSAPI) binds.")

set(CPACK_DEBIAN_KXZONE_PACKAGE_NAME kxzone)
set(CPACK_DEBIAN_KXZONE_PACKAGE_SECTION net)
set(CPACK_COMPONENT_KXZONE_DESCRIPTION
  "check, format and sort DNS zone master files
kxzone reads a zone master file as a name server would, checks every record's data for its
type and writes the zone back with its comments, disabled records and directives kept,
optionally sorted by name or type.")

include(CPack)
