# The directory client of the platform layer: OpenLDAP (libldap, liblber) with Cyrus SASL
# for GSSAPI, MIT Kerberos with its GSSAPI library, and the resolver for DNS SRV look-ups.
if(NOT WIN32)
  target_link_libraries(orvo PUBLIC ldap lber krb5 gssapi_krb5 resolv)
endif()
