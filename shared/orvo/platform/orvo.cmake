# System libraries of the platform layer. The core needs, on Windows, WinSock 2, the security
# functions (ADVAPI32) and USER32. The directory client needs, on Linux, OpenLDAP (libldap,
# liblber) with Cyrus SASL for GSSAPI (reached through libldap), MIT Kerberos with its GSSAPI
# library, and the resolver for DNS SRV look-ups; on Windows, COM and automation (ole32,
# OLEAUT32) and the Active Directory services (ACTIVEDS, ADSIID).
if(WIN32)
  target_link_libraries(orvo PUBLIC ws2_32 advapi32 user32)
  target_compile_definitions(orvo PRIVATE _WIN32_WINNT=0x0601)
  set(ORVO_DIRECTORY_SYSTEM_LIBS ole32 oleaut32 activeds adsiid uuid advapi32)
  target_compile_definitions(orvo_directory PRIVATE _WIN32_WINNT=0x0601)
else()
  set(ORVO_DIRECTORY_SYSTEM_LIBS ldap lber krb5 gssapi_krb5 resolv)
endif()
target_link_libraries(orvo_directory PUBLIC ${ORVO_DIRECTORY_SYSTEM_LIBS})
