#!/usr/bin/env bash
# Validates ONVIF messages offline against the schemas of the ONVIF corpus
# (shared/onvif), with the recipe of its README: a scratch copy of the
# schemas, the one wildcard libxml2 cannot take removed, the WSDL's schema
# extracted, every remote location resolved through the corpus's catalog.
#
#   onvif-validate.sh CORPUS DIR
#
# DIR holds *.envelope.xml (whole SOAP envelopes), *.device.xml (device
# service bodies, validated strictly from their root) and *.discovery.xml
# (WS-Discovery bodies). Prints xmllint's verdict for every file; exits
# non-zero when one does not validate.
set -euo pipefail
corpus=$1
dir=$(cd "$2" && pwd)

v=$(mktemp -d)
trap 'rm -rf "$v"' EXIT
cp -r "$corpus/schema/." "$v/"
chmod -R u+w "$v"   # the corpus may be read-only
sed -i '/<xs:complexType name="VideoSourceConfigurationOptionsExtension2">/,/<\/xs:complexType>/s|<xs:any namespace="##targetNamespace" processContents="lax" minOccurs="0" maxOccurs="unbounded"/>|<!-- removed for libxml2: UPA -->|' \
    "$v/onvif/ver10/schema/onvif.xsd"
sed -n '/<xs:schema /,/<\/xs:schema>/p' "$v/onvif/ver10/device/wsdl/devicemgmt.wsdl" \
    | sed '1s|<xs:schema |<xs:schema xmlns:xs="http://www.w3.org/2001/XMLSchema" |' \
    > "$v/onvif/ver10/device/wsdl/devicemgmt.xsd"
export XML_CATALOG_FILES="$v/catalog.xml"
cd "$v"

status=0
shopt -s nullglob
validate() {
    local schema=$1
    shift
    [ $# -gt 0 ] || return 0
    xmllint --nonet --noout --schema "$schema" "$@" || status=1
}
validate validate/envelope.xsd "$dir"/*.envelope.xml
validate onvif/ver10/device/wsdl/devicemgmt.xsd "$dir"/*.device.xml
validate xmlsoap/ws-discovery.xsd "$dir"/*.discovery.xml
exit $status
