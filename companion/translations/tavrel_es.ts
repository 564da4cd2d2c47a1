<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="es">
<context>
    <name>main</name>
    <message>
        <location filename="../main.qml" line="14"/>
        <source>List</source>
        <translation>Lista</translation>
    </message>
    <message>
        <location filename="../main.qml" line="40"/>
        <source>Login to continue</source>
        <translation>Inicie sesión para continuar</translation>
    </message>
    <message>
        <location filename="../main.qml" line="73"/>
        <source>Page</source>
        <translation>Página</translation>
    </message>
    <message>
        <location filename="../main.qml" line="111"/>
        <source>Layouts</source>
        <translation>Diseños</translation>
    </message>
    <message>
        <location filename="../main.qml" line="118"/>
        <source>Scroll the layouts</source>
        <translation>Desplazar los diseños</translation>
    </message>
</context>
</TS>
