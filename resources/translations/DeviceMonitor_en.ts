<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<!-- English overrides searched before the tool's own English file. The
     source texts are English already, so it is empty unless a source text
     must read differently in English. -->
<TS version="2.1" language="en_US">
</TS>
