<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="es">
<context>
    <name>BookmarkDialog</name>
    <message>
        <location filename="../Elements/BookmarkDialog.qml"/>
        <source>Not saved: %1</source>
        <translation>No guardado: %1</translation>
    </message>
    <message>
        <location filename="../Elements/BookmarkDialog.qml"/>
        <source>Not saved: nothing is playing</source>
        <translation>No guardado: no se reproduce nada</translation>
    </message>
    <message>
        <location filename="../Elements/BookmarkDialog.qml"/>
        <source>The server did not save it: %1</source>
        <translation>El servidor no lo guardó: %1</translation>
    </message>
    <message>
        <location filename="../Elements/BookmarkDialog.qml"/>
        <source>New bookmark</source>
        <translation>Nuevo marcador</translation>
    </message>
    <message>
        <location filename="../Elements/BookmarkDialog.qml"/>
        <source>Change bookmark</source>
        <translation>Cambiar marcador</translation>
    </message>
    <message>
        <location filename="../Elements/BookmarkDialog.qml"/>
        <source>Title</source>
        <translation>Título</translation>
    </message>
    <message>
        <location filename="../Elements/BookmarkDialog.qml"/>
        <source>Note (optional)</source>
        <translation>Nota (opcional)</translation>
    </message>
    <message>
        <location filename="../Elements/BookmarkDialog.qml"/>
        <source>Save</source>
        <translation>Guardar</translation>
    </message>
    <message>
        <location filename="../Elements/BookmarkDialog.qml"/>
        <source>Cancel</source>
        <translation>Cancelar</translation>
    </message>
</context>
<context>
    <name>BookmarkList</name>
    <message>
        <location filename="../Elements/BookmarkList.qml"/>
        <source>Bookmarks: %1</source>
        <translation>Marcadores: %1</translation>
    </message>
    <message>
        <location filename="../Elements/BookmarkList.qml"/>
        <source>Change</source>
        <translation>Cambiar</translation>
    </message>
    <message>
        <location filename="../Elements/BookmarkList.qml"/>
        <source>Change bookmark</source>
        <translation>Cambiar marcador</translation>
    </message>
    <message>
        <location filename="../Elements/BookmarkList.qml"/>
        <source>Delete</source>
        <translation>Borrar</translation>
    </message>
    <message>
        <location filename="../Elements/BookmarkList.qml"/>
        <source>Delete bookmark</source>
        <translation>Borrar marcador</translation>
    </message>
</context>
<context>
    <name>EventClasses</name>
    <message>
        <location filename="../../events/eventclasses.cpp"/>
        <source>Door opened</source>
        <translation>Puerta abierta</translation>
    </message>
    <message>
        <location filename="../../events/eventclasses.cpp"/>
        <source>Door closed</source>
        <translation>Puerta cerrada</translation>
    </message>
    <message>
        <location filename="../../events/eventclasses.cpp"/>
        <source>Access granted</source>
        <translation>Acceso concedido</translation>
    </message>
    <message>
        <location filename="../../events/eventclasses.cpp"/>
        <source>Access denied</source>
        <translation>Acceso denegado</translation>
    </message>
    <message>
        <location filename="../../events/eventclasses.cpp"/>
        <source>Door forced open</source>
        <translation>Puerta forzada</translation>
    </message>
    <message>
        <location filename="../../events/eventclasses.cpp"/>
        <source>Door held open</source>
        <translation>Puerta mantenida abierta</translation>
    </message>
    <message>
        <location filename="../../events/eventclasses.cpp"/>
        <source>Motion</source>
        <translation>Movimiento</translation>
    </message>
    <message>
        <location filename="../../events/eventclasses.cpp"/>
        <source>Camera tampered</source>
        <translation>Cámara manipulada</translation>
    </message>
    <message>
        <location filename="../../events/eventclasses.cpp"/>
        <source>Alarm acknowledged</source>
        <translation>Alarma reconocida</translation>
    </message>
    <message>
        <location filename="../../events/eventclasses.cpp"/>
        <source>Door command</source>
        <translation>Orden de puerta</translation>
    </message>
</context>
<context>
    <name>CameraView</name>
    <message>
        <location filename="../Elements/CameraView.qml" line="92"/>
        <source>No signal</source>
        <translation>Sin señal</translation>
    </message>
    <message>
        <location filename="../Elements/CameraView.qml" line="230"/>
        <source>FPS:</source>
        <translation>FPS:</translation>
    </message>
    <message>
        <location filename="../Elements/CameraView.qml"/>
        <source>camera</source>
        <translation>cámara</translation>
    </message>
    <message>
        <location filename="../Elements/CameraView.qml"/>
        <source>Snapshot saved to %1</source>
        <translation>Captura guardada en %1</translation>
    </message>
    <message>
        <location filename="../Elements/CameraView.qml"/>
        <source>Snapshot not saved: %1</source>
        <translation>Captura no guardada: %1</translation>
    </message>
    <message>
        <location filename="../Elements/CameraView.qml"/>
        <source>no picture yet</source>
        <translation>aún no hay imagen</translation>
    </message>
    <message>
        <location filename="../Elements/CameraView.qml"/>
        <source>Camera %1</source>
        <translation>Cámara %1</translation>
    </message>
    <message>
        <location filename="../Elements/CameraView.qml"/>
        <source>Press to show the camera&apos;s toolbar</source>
        <translation>Pulse para mostrar la barra de la cámara</translation>
    </message>
    <message>
        <location filename="../Elements/CameraView.qml"/>
        <source>Alarm</source>
        <translation>Alarma</translation>
    </message>
    <message>
        <location filename="../Elements/CameraView.qml"/>
        <source>Show the whole picture</source>
        <translation>Mostrar la imagen entera</translation>
    </message>
    <message>
        <location filename="../Elements/CameraView.qml"/>
        <source>Save a snapshot</source>
        <translation>Guardar una captura</translation>
    </message>
    <message>
        <location filename="../Elements/CameraView.qml"/>
        <source>Show the video figures</source>
        <translation>Mostrar las cifras del vídeo</translation>
    </message>
    <message>
        <location filename="../Elements/CameraView.qml"/>
        <source>Frames per second</source>
        <translation>Imágenes por segundo</translation>
    </message>
    <message>
        <location filename="../Elements/CameraView.qml"/>
        <source>Bookmark the last moments</source>
        <translation>Marcar los últimos momentos</translation>
    </message>
</context>
<context>
    <name>DoorView</name>
    <message>
        <location filename="../Elements/DoorView.qml" line="11"/>
        <source>Door</source>
        <translation>Puerta</translation>
    </message>
    <message>
        <location filename="../Elements/DoorView.qml" line="56"/>
        <source>Open</source>
        <translation>Abrir</translation>
    </message>
    <message>
        <location filename="../Elements/DoorView.qml" line="56"/>
        <source>Close</source>
        <translation>Cerrar</translation>
    </message>
    <message>
        <location filename="../Elements/DoorView.qml"/>
        <source>State unknown</source>
        <translation>Estado desconocido</translation>
    </message>
    <message>
        <location filename="../Elements/DoorView.qml"/>
        <source>Door %1</source>
        <translation>Puerta %1</translation>
    </message>
    <message>
        <location filename="../Elements/DoorView.qml"/>
        <source>Open %1</source>
        <translation>Abrir %1</translation>
    </message>
    <message>
        <location filename="../Elements/DoorView.qml"/>
        <source>Close %1</source>
        <translation>Cerrar %1</translation>
    </message>
    <message>
        <location filename="../Elements/DoorView.qml"/>
        <source>Events</source>
        <translation>Eventos</translation>
    </message>
    <message>
        <location filename="../Elements/DoorView.qml"/>
        <source>Last events of %1</source>
        <translation>Últimos eventos de %1</translation>
    </message>
    <message>
        <location filename="../Elements/DoorView.qml"/>
        <source>No events yet</source>
        <translation>Todavía no hay eventos</translation>
    </message>
</context>
<context>
    <name>LoginPage</name>
    <message>
        <location filename="../LoginPage.qml" line="29"/>
        <source>Working</source>
        <translation>Procesando</translation>
    </message>
    <message>
        <location filename="../LoginPage.qml" line="82"/>
        <source>Language</source>
        <translation>Idioma</translation>
    </message>
    <message>
        <location filename="../LoginPage.qml" line="98"/>
        <source>server information</source>
        <translation>información del servidor</translation>
    </message>
    <message>
        <location filename="../LoginPage.qml" line="102"/>
        <source>Host</source>
        <translation>Host</translation>
    </message>
    <message>
        <location filename="../LoginPage.qml" line="113"/>
        <source>Port</source>
        <translation>Puerto</translation>
    </message>
    <message>
        <location filename="../LoginPage.qml" line="126"/>
        <source>login credentials</source>
        <translation>credenciales de acceso</translation>
    </message>
    <message>
        <location filename="../LoginPage.qml" line="130"/>
        <source>Username</source>
        <translation>Usuario</translation>
    </message>
    <message>
        <location filename="../LoginPage.qml" line="141"/>
        <source>Password</source>
        <translation>Contraseña</translation>
    </message>
    <message>
        <location filename="../LoginPage.qml" line="159"/>
        <source>Login</source>
        <translation>Iniciar sesión</translation>
    </message>
    <message>
        <location filename="../LoginPage.qml"/>
        <source>Trying again in %1 s</source>
        <translation>Nuevo intento en %1 s</translation>
    </message>
</context>
<context>
    <name>RecordedPage</name>
    <message>
        <location filename="../RecordedPage.qml"/>
        <source>The layout has fewer than two cameras.</source>
        <translation>El diseño tiene menos de dos cámaras.</translation>
    </message>
    <message>
        <location filename="../RecordedPage.qml"/>
        <source>At most %1 cameras play in step.</source>
        <translation>Como máximo %1 cámaras se reproducen en sincronía.</translation>
    </message>
    <message>
        <location filename="../RecordedPage.qml"/>
        <source>Exported to %1; not exported: %2</source>
        <translation>Exportado a %1; no exportado: %2</translation>
    </message>
    <message>
        <location filename="../RecordedPage.qml"/>
        <source>Nothing recorded between the marks.</source>
        <translation>No hay nada grabado entre las marcas.</translation>
    </message>
    <message>
        <location filename="../RecordedPage.qml"/>
        <source>Export not started: %1</source>
        <translation>La exportación no empezó: %1</translation>
    </message>
    <message>
        <location filename="../RecordedPage.qml"/>
        <source>Exported to %1</source>
        <translation>Exportado a %1</translation>
    </message>
    <message>
        <location filename="../RecordedPage.qml"/>
        <source>Export failed: %1</source>
        <translation>La exportación falló: %1</translation>
    </message>
</context>
<context>
    <name>Sidebar</name>
    <message>
        <location filename="../Elements/Sidebar.qml" line="12"/>
        <source>Layout</source>
        <translation>Diseño</translation>
    </message>
    <message>
        <location filename="../Elements/Sidebar.qml" line="13"/>
        <source>Recorded</source>
        <translation>Grabado</translation>
    </message>
    <message>
        <location filename="../Elements/Sidebar.qml" line="14"/>
        <source>Exit</source>
        <translation>Salir</translation>
    </message>
</context>
<context>
    <name>VideoStats</name>
    <message>
        <location filename="../Elements/VideoStats.qml" line="70"/>
        <source>%1 received</source>
        <translation>%1 recibidos</translation>
    </message>
    <message>
        <location filename="../Elements/VideoStats.qml" line="71"/>
        <source>%1 drawn</source>
        <translation>%1 dibujados</translation>
    </message>
    <message>
        <location filename="../Elements/VideoStats.qml" line="72"/>
        <source>%1 Mbit/s</source>
        <translation>%1 Mbit/s</translation>
    </message>
    <message>
        <location filename="../Elements/VideoStats.qml" line="74"/>
        <source>lag %1 s</source>
        <translation>retraso %1 s</translation>
    </message>
    <message>
        <location filename="../Elements/VideoStats.qml"/>
        <source>skip non-reference frames</source>
        <translation>sin fotogramas no referenciados</translation>
    </message>
    <message>
        <location filename="../Elements/VideoStats.qml"/>
        <source>no deblocking</source>
        <translation>sin desbloqueo</translation>
    </message>
    <message>
        <location filename="../Elements/VideoStats.qml"/>
        <source>key frames only</source>
        <translation>solo fotogramas clave</translation>
    </message>
    <message>
        <location filename="../Elements/VideoStats.qml"/>
        <source>less deblocking</source>
        <translation>menos desbloqueo</translation>
    </message>
    <message>
        <location filename="../Elements/VideoStats.qml"/>
        <source>(main too slow)</source>
        <translation>(principal demasiado lento)</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <location filename="../main.qml" line="15"/>
        <source>Client</source>
        <translation>Cliente</translation>
    </message>
    <message>
        <location filename="../main.qml" line="77"/>
        <source>Connection to the server lost. Next attempt in %1 s.</source>
        <translation>Se perdió la conexión con el servidor. Próximo intento en %1 s.</translation>
    </message>
    <message>
        <location filename="../main.qml" line="78"/>
        <source>Connection to the server lost. Reconnecting…</source>
        <translation>Se perdió la conexión con el servidor. Reconectando…</translation>
    </message>
</context>
<context>
    <name>LayoutPage</name>
    <message>
        <location filename="../LayoutPage.qml"/>
        <source>Not played: this layout has more than %1 cameras</source>
        <translation>No se reproduce: esta disposición tiene más de %1 cámaras</translation>
    </message>
    <message>
        <location filename="../LayoutPage.qml"/>
        <source>Too small to play</source>
        <translation>Demasiado pequeña para reproducirse</translation>
    </message>
    <message>
        <location filename="../LayoutPage.qml"/>
        <source>Alarm: %1</source>
        <translation>Alarma: %1</translation>
    </message>
    <message>
        <location filename="../LayoutPage.qml"/>
        <source>No alarm</source>
        <translation>Sin alarma</translation>
    </message>
    <message>
        <location filename="../LayoutPage.qml"/>
        <source>Acknowledge</source>
        <translation>Reconocer</translation>
    </message>
    <message>
        <location filename="../LayoutPage.qml"/>
        <source>Acknowledge %1</source>
        <translation>Reconocer %1</translation>
    </message>
</context>
<context>
    <name>RecordedStreams</name>
    <message>
        <location filename="../Elements/RecordedStreams.qml"/>
        <source>All in step</source>
        <translation>Todas en sincronía</translation>
    </message>
    <message>
        <location filename="../Elements/RecordedStreams.qml"/>
        <source>Play the layout's cameras in step</source>
        <translation>Reproducir en sincronía las cámaras del diseño</translation>
    </message>
    <message>
        <location filename="../Elements/RecordedStreams.qml"/>
        <source>In step: %1</source>
        <translation>En sincronía: %1</translation>
    </message>
    <message>
        <location filename="../Elements/RecordedStreams.qml"/>
        <source>Available streams</source>
        <translation>Flujos disponibles</translation>
    </message>
</context>
<context>
    <name>ChunkList</name>
    <message>
        <location filename="../Elements/ChunkList.qml"/>
        <source>Recorded chunks</source>
        <translation>Fragmentos grabados</translation>
    </message>
    <message>
        <location filename="../Elements/ChunkList.qml"/>
        <source>start: %1</source>
        <translation>inicio: %1</translation>
    </message>
    <message>
        <location filename="../Elements/ChunkList.qml"/>
        <source>end: %1</source>
        <translation>fin: %1</translation>
    </message>
    <message>
        <location filename="../Elements/ChunkList.qml"/>
        <source>Chunk from %1 to %2</source>
        <translation>Fragmento de %1 a %2</translation>
    </message>
</context>
<context>
    <name>RecordedDay</name>
    <message>
        <location filename="../Elements/RecordedDay.qml"/>
        <source>Today</source>
        <translation>Hoy</translation>
    </message>
    <message>
        <location filename="../Elements/RecordedDay.qml"/>
        <source>Previous day</source>
        <translation>Día anterior</translation>
    </message>
    <message>
        <location filename="../Elements/RecordedDay.qml"/>
        <source>Day (YYYY-MM-DD)</source>
        <translation>Día (AAAA-MM-DD)</translation>
    </message>
    <message>
        <location filename="../Elements/RecordedDay.qml"/>
        <source>Next day</source>
        <translation>Día siguiente</translation>
    </message>
</context>
<context>
    <name>PosSearch</name>
    <message>
        <location filename="../Elements/PosSearch.qml"/>
        <source>Search the day's POS text</source>
        <translation>Buscar en el texto POS del día</translation>
    </message>
    <message>
        <location filename="../Elements/PosSearch.qml"/>
        <source>More than %1 lines found</source>
        <translation>Más de %1 líneas encontradas</translation>
    </message>
    <message>
        <location filename="../Elements/PosSearch.qml"/>
        <source>Lines found: %1</source>
        <translation>Líneas encontradas: %1</translation>
    </message>
</context>
<context>
    <name>PlayerBar</name>
    <message>
        <location filename="../Elements/PlayerBar.qml"/>
        <source>Play</source>
        <translation>Reproducir</translation>
    </message>
    <message>
        <location filename="../Elements/PlayerBar.qml"/>
        <source>Pause</source>
        <translation>Pausa</translation>
    </message>
    <message>
        <location filename="../Elements/PlayerBar.qml"/>
        <source>-5 s</source>
        <translation>-5 s</translation>
    </message>
    <message>
        <location filename="../Elements/PlayerBar.qml"/>
        <source>Frame back</source>
        <translation>Fotograma atrás</translation>
    </message>
    <message>
        <location filename="../Elements/PlayerBar.qml"/>
        <source>Frame forward</source>
        <translation>Fotograma adelante</translation>
    </message>
    <message>
        <location filename="../Elements/PlayerBar.qml"/>
        <source>+5 s</source>
        <translation>+5 s</translation>
    </message>
    <message>
        <location filename="../Elements/PlayerBar.qml"/>
        <source>Snapshot</source>
        <translation>Captura</translation>
    </message>
    <message>
        <location filename="../Elements/PlayerBar.qml"/>
        <source>Back 5 seconds</source>
        <translation>Atrás 5 segundos</translation>
    </message>
    <message>
        <location filename="../Elements/PlayerBar.qml"/>
        <source>Forward 5 seconds</source>
        <translation>Adelante 5 segundos</translation>
    </message>
    <message>
        <location filename="../Elements/PlayerBar.qml"/>
        <source>Speed</source>
        <translation>Velocidad</translation>
    </message>
    <message>
        <location filename="../Elements/PlayerBar.qml"/>
        <source>Position in the chunk</source>
        <translation>Posición en el fragmento</translation>
    </message>
</context>
<context>
    <name>ExportBar</name>
    <message>
        <location filename="../Elements/ExportBar.qml"/>
        <source>Bookmark</source>
        <translation>Marcador</translation>
    </message>
    <message>
        <location filename="../Elements/ExportBar.qml"/>
        <source>Set end mark</source>
        <translation>Marcar fin</translation>
    </message>
    <message>
        <location filename="../Elements/ExportBar.qml"/>
        <source>Set start mark</source>
        <translation>Marcar inicio</translation>
    </message>
    <message>
        <location filename="../Elements/ExportBar.qml"/>
        <source>Clear marks</source>
        <translation>Borrar marcas</translation>
    </message>
    <message>
        <location filename="../Elements/ExportBar.qml"/>
        <source>Save to:</source>
        <translation>Guardar en:</translation>
    </message>
    <message>
        <location filename="../Elements/ExportBar.qml"/>
        <source>Export marked</source>
        <translation>Exportar lo marcado</translation>
    </message>
    <message>
        <location filename="../Elements/ExportBar.qml"/>
        <source>Export chunk</source>
        <translation>Exportar fragmento</translation>
    </message>
    <message>
        <location filename="../Elements/ExportBar.qml"/>
        <source>Cancel</source>
        <translation>Cancelar</translation>
    </message>
    <message>
        <location filename="../Elements/ExportBar.qml"/>
        <source>Export folder</source>
        <translation>Carpeta de exportación</translation>
    </message>
    <message>
        <location filename="../Elements/ExportBar.qml"/>
        <source>Export progress</source>
        <translation>Progreso de la exportación</translation>
    </message>
</context>
<context>
    <name>ChunkMessages</name>
    <message>
        <location filename="../Elements/ChunkMessages.qml"/>
        <source>The chunk could not be fetched: %1</source>
        <translation>No se pudo descargar el fragmento: %1</translation>
    </message>
    <message>
        <location filename="../Elements/ChunkMessages.qml"/>
        <source>The chunk could not be played: the file is damaged or not a video.</source>
        <translation>No se pudo reproducir el fragmento: el archivo está dañado o no es un vídeo.</translation>
    </message>
</context>
<context>
    <name>AlarmPanel</name>
    <message>
        <location filename="../Elements/AlarmPanel.qml"/>
        <source>All states</source>
        <translation>Todos los estados</translation>
    </message>
    <message>
        <location filename="../Elements/AlarmPanel.qml"/>
        <source>New</source>
        <translation>Nueva</translation>
    </message>
    <message>
        <location filename="../Elements/AlarmPanel.qml"/>
        <source>Acknowledged</source>
        <translation>Reconocida</translation>
    </message>
    <message>
        <location filename="../Elements/AlarmPanel.qml"/>
        <source>Ended</source>
        <translation>Terminada</translation>
    </message>
    <message>
        <location filename="../Elements/AlarmPanel.qml"/>
        <source>acknowledged by %1, %2</source>
        <translation>reconocida por %1, %2</translation>
    </message>
    <message>
        <location filename="../Elements/AlarmPanel.qml"/>
        <source>acknowledged, %1</source>
        <translation>reconocida, %1</translation>
    </message>
    <message>
        <location filename="../Elements/AlarmPanel.qml"/>
        <source>Ended, %1</source>
        <translation>Terminada, %1</translation>
    </message>
    <message>
        <location filename="../Elements/AlarmPanel.qml"/>
        <source>No camera sees this event&apos;s source</source>
        <translation>Ninguna cámara ve el origen de este evento</translation>
    </message>
    <message>
        <location filename="../Elements/AlarmPanel.qml"/>
        <source>Events shown: %1 of %2</source>
        <translation>Eventos mostrados: %1 de %2</translation>
    </message>
    <message>
        <location filename="../Elements/AlarmPanel.qml"/>
        <source>Sound off</source>
        <translation>Sonido apagado</translation>
    </message>
    <message>
        <location filename="../Elements/AlarmPanel.qml"/>
        <source>Sound on</source>
        <translation>Sonido encendido</translation>
    </message>
    <message>
        <location filename="../Elements/AlarmPanel.qml"/>
        <source>Mute the alarm sound</source>
        <translation>Silenciar el sonido de alarma</translation>
    </message>
    <message>
        <location filename="../Elements/AlarmPanel.qml"/>
        <source>Search the events</source>
        <translation>Buscar en los eventos</translation>
    </message>
    <message>
        <location filename="../Elements/AlarmPanel.qml"/>
        <source>All classes</source>
        <translation>Todas las clases</translation>
    </message>
    <message>
        <location filename="../Elements/AlarmPanel.qml"/>
        <source>Event class</source>
        <translation>Clase de evento</translation>
    </message>
    <message>
        <location filename="../Elements/AlarmPanel.qml"/>
        <source>State</source>
        <translation>Estado</translation>
    </message>
    <message>
        <location filename="../Elements/AlarmPanel.qml"/>
        <source>Minimum priority</source>
        <translation>Prioridad mínima</translation>
    </message>
    <message>
        <location filename="../Elements/AlarmPanel.qml"/>
        <source>All events</source>
        <translation>Todos los eventos</translation>
    </message>
    <message>
        <location filename="../Elements/AlarmPanel.qml"/>
        <source>Acknowledge all shown</source>
        <translation>Reconocer todas las mostradas</translation>
    </message>
    <message>
        <location filename="../Elements/AlarmPanel.qml"/>
        <source>Events</source>
        <translation>Eventos</translation>
    </message>
    <message>
        <location filename="../Elements/AlarmPanel.qml"/>
        <source>Acknowledge alarms</source>
        <translation>Reconocer alarmas</translation>
    </message>
    <message>
        <location filename="../Elements/AlarmPanel.qml"/>
        <source>Acknowledge every unacknowledged alarm shown in the list?</source>
        <translation>¿Reconocer todas las alarmas sin reconocer que muestra la lista?</translation>
    </message>
</context>
<context>
    <name>HSpliter</name>
    <message>
        <location filename="../Elements/HSpliter.qml"/>
        <source>Pane divider</source>
        <translation>Divisor de paneles</translation>
    </message>
</context>
<context>
    <name>VSpliter</name>
    <message>
        <location filename="../Elements/VSpliter.qml"/>
        <source>Pane divider</source>
        <translation>Divisor de paneles</translation>
    </message>
</context>
<context>
    <name>LanguageBox</name>
    <message>
        <location filename="../Elements/LanguageBox.qml"/>
        <source>Language</source>
        <translation>Idioma</translation>
    </message>
</context>
<context>
    <name>MainPage</name>
    <message>
        <location filename="../MainPage.qml"/>
        <source>Alarms</source>
        <translation>Alarmas</translation>
    </message>
    <message>
        <location filename="../MainPage.qml"/>
        <source>Alarm panel, %1 not acknowledged</source>
        <translation>Panel de alarmas, %1 sin reconocer</translation>
    </message>
</context>
<context>
    <name>MultiExportProgress</name>
    <message>
        <location filename="../Elements/MultiExportProgress.qml"/>
        <source>Waiting</source>
        <translation>En espera</translation>
    </message>
    <message>
        <location filename="../Elements/MultiExportProgress.qml"/>
        <source>Exporting</source>
        <translation>Exportando</translation>
    </message>
    <message>
        <location filename="../Elements/MultiExportProgress.qml"/>
        <source>Done</source>
        <translation>Hecho</translation>
    </message>
    <message>
        <location filename="../Elements/MultiExportProgress.qml"/>
        <source>Failed: %1</source>
        <translation>Falló: %1</translation>
    </message>
    <message>
        <location filename="../Elements/MultiExportProgress.qml"/>
        <source>Nothing recorded</source>
        <translation>Nada grabado</translation>
    </message>
    <message>
        <location filename="../Elements/MultiExportProgress.qml"/>
        <source>Cancelled</source>
        <translation>Cancelado</translation>
    </message>
    <message>
        <location filename="../Elements/MultiExportProgress.qml"/>
        <source>Export of the cameras</source>
        <translation>Exportación de las cámaras</translation>
    </message>
    <message>
        <location filename="../Elements/MultiExportProgress.qml"/>
        <source>Export progress of %1</source>
        <translation>Progreso de la exportación de %1</translation>
    </message>
    <message>
        <location filename="../Elements/MultiExportProgress.qml"/>
        <source>Export progress</source>
        <translation>Progreso de la exportación</translation>
    </message>
    <message>
        <location filename="../Elements/MultiExportProgress.qml"/>
        <source>Cancel</source>
        <translation>Cancelar</translation>
    </message>
    <message>
        <location filename="../Elements/MultiExportProgress.qml"/>
        <source>Cancel the export of every camera</source>
        <translation>Cancelar la exportación de todas las cámaras</translation>
    </message>
</context>
<context>
    <name>SyncTile</name>
    <message>
        <location filename="../Elements/SyncTile.qml"/>
        <source>No recording</source>
        <translation>Sin grabación</translation>
    </message>
    <message>
        <location filename="../Elements/SyncTile.qml"/>
        <source>Out of step</source>
        <translation>Fuera de sincronía</translation>
    </message>
    <message>
        <location filename="../Elements/SyncTile.qml"/>
        <source>Back in step</source>
        <translation>Volver a sincronía</translation>
    </message>
</context>
</TS>
