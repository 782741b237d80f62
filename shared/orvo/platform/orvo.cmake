# The directory client of the platform layer. On Linux: OpenLDAP (libldap, liblber) with Cyrus SASL
# for GSSAPI, MIT Kerberos with its GSSAPI library, and the resolver for DNS SRV look-ups.
# On Windows the system's own: WinSock 2, the security functions (ADVAPI32), COM and
# automation (ole32, OLEAUT32) and the Active Directory services (ACTIVEDS, ADSIID).
if(WIN32)
  target_link_libraries(orvo PUBLIC ws2_32 advapi32 ole32 oleaut32 activeds adsiid uuid user32)
  target_compile_definitions(orvo PRIVATE _WIN32_WINNT=0x0601)
else()
  target_link_libraries(orvo PUBLIC ldap lber krb5 gssapi_krb5 resolv)
endif()
