<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="pt">
<context>
    <name>BookmarkDialog</name>
    <message>
        <location filename="../Elements/BookmarkDialog.qml"/>
        <source>Not saved: %1</source>
        <translation>Não guardado: %1</translation>
    </message>
    <message>
        <location filename="../Elements/BookmarkDialog.qml"/>
        <source>Not saved: nothing is playing</source>
        <translation>Não guardado: nada está em reprodução</translation>
    </message>
    <message>
        <location filename="../Elements/BookmarkDialog.qml"/>
        <source>The server did not save it: %1</source>
        <translation>O servidor não o guardou: %1</translation>
    </message>
    <message>
        <location filename="../Elements/BookmarkDialog.qml"/>
        <source>New bookmark</source>
        <translation>Novo marcador</translation>
    </message>
    <message>
        <location filename="../Elements/BookmarkDialog.qml"/>
        <source>Change bookmark</source>
        <translation>Alterar marcador</translation>
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
        <translation>Alterar</translation>
    </message>
    <message>
        <location filename="../Elements/BookmarkList.qml"/>
        <source>Change bookmark</source>
        <translation>Alterar marcador</translation>
    </message>
    <message>
        <location filename="../Elements/BookmarkList.qml"/>
        <source>Delete</source>
        <translation>Eliminar</translation>
    </message>
    <message>
        <location filename="../Elements/BookmarkList.qml"/>
        <source>Delete bookmark</source>
        <translation>Eliminar marcador</translation>
    </message>
</context>
<context>
    <name>EventClasses</name>
    <message>
        <location filename="../../events/eventclasses.cpp"/>
        <source>Door opened</source>
        <translation>Porta aberta</translation>
    </message>
    <message>
        <location filename="../../events/eventclasses.cpp"/>
        <source>Door closed</source>
        <translation>Porta fechada</translation>
    </message>
    <message>
        <location filename="../../events/eventclasses.cpp"/>
        <source>Access granted</source>
        <translation>Acesso concedido</translation>
    </message>
    <message>
        <location filename="../../events/eventclasses.cpp"/>
        <source>Access denied</source>
        <translation>Acesso negado</translation>
    </message>
    <message>
        <location filename="../../events/eventclasses.cpp"/>
        <source>Door forced open</source>
        <translation>Porta forçada</translation>
    </message>
    <message>
        <location filename="../../events/eventclasses.cpp"/>
        <source>Door held open</source>
        <translation>Porta mantida aberta</translation>
    </message>
    <message>
        <location filename="../../events/eventclasses.cpp"/>
        <source>Motion</source>
        <translation>Movimento</translation>
    </message>
    <message>
        <location filename="../../events/eventclasses.cpp"/>
        <source>Camera tampered</source>
        <translation>Câmera adulterada</translation>
    </message>
    <message>
        <location filename="../../events/eventclasses.cpp"/>
        <source>Alarm acknowledged</source>
        <translation>Alarme reconhecido</translation>
    </message>
    <message>
        <location filename="../../events/eventclasses.cpp"/>
        <source>Door command</source>
        <translation>Comando de porta</translation>
    </message>
</context>
<context>
    <name>CameraView</name>
    <message>
        <location filename="../Elements/CameraView.qml" line="92"/>
        <source>No signal</source>
        <translation>Sem sinal</translation>
    </message>
    <message>
        <location filename="../Elements/CameraView.qml" line="230"/>
        <source>FPS:</source>
        <translation>FPS:</translation>
    </message>
    <message>
        <location filename="../Elements/CameraView.qml"/>
        <source>camera</source>
        <translation>câmera</translation>
    </message>
    <message>
        <location filename="../Elements/CameraView.qml"/>
        <source>Snapshot saved to %1</source>
        <translation>Captura salva em %1</translation>
    </message>
    <message>
        <location filename="../Elements/CameraView.qml"/>
        <source>Snapshot not saved: %1</source>
        <translation>Captura não salva: %1</translation>
    </message>
    <message>
        <location filename="../Elements/CameraView.qml"/>
        <source>no picture yet</source>
        <translation>ainda não há imagem</translation>
    </message>
    <message>
        <location filename="../Elements/CameraView.qml"/>
        <source>Camera %1</source>
        <translation>Câmera %1</translation>
    </message>
    <message>
        <location filename="../Elements/CameraView.qml"/>
        <source>Press to show the camera&apos;s toolbar</source>
        <translation>Pressione para mostrar a barra da câmera</translation>
    </message>
    <message>
        <location filename="../Elements/CameraView.qml"/>
        <source>Alarm</source>
        <translation>Alarme</translation>
    </message>
    <message>
        <location filename="../Elements/CameraView.qml"/>
        <source>Show the whole picture</source>
        <translation>Mostrar a imagem inteira</translation>
    </message>
    <message>
        <location filename="../Elements/CameraView.qml"/>
        <source>Save a snapshot</source>
        <translation>Salvar uma captura</translation>
    </message>
    <message>
        <location filename="../Elements/CameraView.qml"/>
        <source>Show the video figures</source>
        <translation>Mostrar os números do vídeo</translation>
    </message>
    <message>
        <location filename="../Elements/CameraView.qml"/>
        <source>Frames per second</source>
        <translation>Quadros por segundo</translation>
    </message>
    <message>
        <location filename="../Elements/CameraView.qml"/>
        <source>Bookmark the last moments</source>
        <translation>Marcar os últimos momentos</translation>
    </message>
</context>
<context>
    <name>DoorView</name>
    <message>
        <location filename="../Elements/DoorView.qml" line="11"/>
        <source>Door</source>
        <translation>Porta</translation>
    </message>
    <message>
        <location filename="../Elements/DoorView.qml" line="56"/>
        <source>Open</source>
        <translation>Abrir</translation>
    </message>
    <message>
        <location filename="../Elements/DoorView.qml" line="56"/>
        <source>Close</source>
        <translation>Fechar</translation>
    </message>
    <message>
        <location filename="../Elements/DoorView.qml"/>
        <source>State unknown</source>
        <translation>Estado desconhecido</translation>
    </message>
    <message>
        <location filename="../Elements/DoorView.qml"/>
        <source>Door %1</source>
        <translation>Porta %1</translation>
    </message>
    <message>
        <location filename="../Elements/DoorView.qml"/>
        <source>Open %1</source>
        <translation>Abrir %1</translation>
    </message>
    <message>
        <location filename="../Elements/DoorView.qml"/>
        <source>Close %1</source>
        <translation>Fechar %1</translation>
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
        <translation>Ainda não há eventos</translation>
    </message>
</context>
<context>
    <name>LoginPage</name>
    <message>
        <location filename="../LoginPage.qml" line="29"/>
        <source>Working</source>
        <translation>Processando</translation>
    </message>
    <message>
        <location filename="../LoginPage.qml" line="82"/>
        <source>Language</source>
        <translation>Idioma</translation>
    </message>
    <message>
        <location filename="../LoginPage.qml" line="98"/>
        <source>server information</source>
        <translation>informações do servidor</translation>
    </message>
    <message>
        <location filename="../LoginPage.qml" line="102"/>
        <source>Host</source>
        <translation>Host</translation>
    </message>
    <message>
        <location filename="../LoginPage.qml" line="113"/>
        <source>Port</source>
        <translation>Porta</translation>
    </message>
    <message>
        <location filename="../LoginPage.qml" line="126"/>
        <source>login credentials</source>
        <translation>credenciais de acesso</translation>
    </message>
    <message>
        <location filename="../LoginPage.qml" line="130"/>
        <source>Username</source>
        <translation>Usuário</translation>
    </message>
    <message>
        <location filename="../LoginPage.qml" line="141"/>
        <source>Password</source>
        <translation>Senha</translation>
    </message>
    <message>
        <location filename="../LoginPage.qml" line="159"/>
        <source>Login</source>
        <translation>Entrar</translation>
    </message>
    <message>
        <location filename="../LoginPage.qml"/>
        <source>Trying again in %1 s</source>
        <translation>Nova tentativa em %1 s</translation>
    </message>
</context>
<context>
    <name>RecordedPage</name>
    <message>
        <location filename="../RecordedPage.qml"/>
        <source>The layout has fewer than two cameras.</source>
        <translation>O layout tem menos de duas câmeras.</translation>
    </message>
    <message>
        <location filename="../RecordedPage.qml"/>
        <source>At most %1 cameras play in step.</source>
        <translation>No máximo %1 câmeras são reproduzidas em sincronia.</translation>
    </message>
    <message>
        <location filename="../RecordedPage.qml"/>
        <source>Exported to %1; not exported: %2</source>
        <translation>Exportado para %1; não exportado: %2</translation>
    </message>
    <message>
        <location filename="../RecordedPage.qml"/>
        <source>Nothing recorded between the marks.</source>
        <translation>Nada gravado entre as marcas.</translation>
    </message>
    <message>
        <location filename="../RecordedPage.qml"/>
        <source>Export not started: %1</source>
        <translation>A exportação não começou: %1</translation>
    </message>
    <message>
        <location filename="../RecordedPage.qml"/>
        <source>Exported to %1</source>
        <translation>Exportado para %1</translation>
    </message>
    <message>
        <location filename="../RecordedPage.qml"/>
        <source>Export failed: %1</source>
        <translation>A exportação falhou: %1</translation>
    </message>
</context>
<context>
    <name>Sidebar</name>
    <message>
        <location filename="../Elements/Sidebar.qml" line="12"/>
        <source>Layout</source>
        <translation>Layout</translation>
    </message>
    <message>
        <location filename="../Elements/Sidebar.qml" line="13"/>
        <source>Recorded</source>
        <translation>Gravado</translation>
    </message>
    <message>
        <location filename="../Elements/Sidebar.qml" line="14"/>
        <source>Exit</source>
        <translation>Sair</translation>
    </message>
</context>
<context>
    <name>VideoStats</name>
    <message>
        <location filename="../Elements/VideoStats.qml" line="70"/>
        <source>%1 received</source>
        <translation>%1 recebidos</translation>
    </message>
    <message>
        <location filename="../Elements/VideoStats.qml" line="71"/>
        <source>%1 drawn</source>
        <translation>%1 desenhados</translation>
    </message>
    <message>
        <location filename="../Elements/VideoStats.qml" line="72"/>
        <source>%1 Mbit/s</source>
        <translation>%1 Mbit/s</translation>
    </message>
    <message>
        <location filename="../Elements/VideoStats.qml" line="74"/>
        <source>lag %1 s</source>
        <translation>atraso %1 s</translation>
    </message>
    <message>
        <location filename="../Elements/VideoStats.qml"/>
        <source>skip non-reference frames</source>
        <translation>sem quadros não referenciados</translation>
    </message>
    <message>
        <location filename="../Elements/VideoStats.qml"/>
        <source>no deblocking</source>
        <translation>sem desbloqueio</translation>
    </message>
    <message>
        <location filename="../Elements/VideoStats.qml"/>
        <source>key frames only</source>
        <translation>só quadros-chave</translation>
    </message>
    <message>
        <location filename="../Elements/VideoStats.qml"/>
        <source>less deblocking</source>
        <translation>menos desbloqueio</translation>
    </message>
    <message>
        <location filename="../Elements/VideoStats.qml"/>
        <source>(main too slow)</source>
        <translation>(principal lento demais)</translation>
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
        <translation>Conexão com o servidor perdida. Próxima tentativa em %1 s.</translation>
    </message>
    <message>
        <location filename="../main.qml" line="78"/>
        <source>Connection to the server lost. Reconnecting…</source>
        <translation>Conexão com o servidor perdida. Reconectando…</translation>
    </message>
</context>
<context>
    <name>LayoutPage</name>
    <message>
        <location filename="../LayoutPage.qml"/>
        <source>Not played: this layout has more than %1 cameras</source>
        <translation>Não reproduzida: este layout tem mais de %1 câmeras</translation>
    </message>
    <message>
        <location filename="../LayoutPage.qml"/>
        <source>Too small to play</source>
        <translation>Pequena demais para reproduzir</translation>
    </message>
    <message>
        <location filename="../LayoutPage.qml"/>
        <source>Alarm: %1</source>
        <translation>Alarme: %1</translation>
    </message>
    <message>
        <location filename="../LayoutPage.qml"/>
        <source>No alarm</source>
        <translation>Sem alarme</translation>
    </message>
    <message>
        <location filename="../LayoutPage.qml"/>
        <source>Acknowledge</source>
        <translation>Reconhecer</translation>
    </message>
    <message>
        <location filename="../LayoutPage.qml"/>
        <source>Acknowledge %1</source>
        <translation>Reconhecer %1</translation>
    </message>
</context>
<context>
    <name>RecordedStreams</name>
    <message>
        <location filename="../Elements/RecordedStreams.qml"/>
        <source>All in step</source>
        <translation>Todas em sincronia</translation>
    </message>
    <message>
        <location filename="../Elements/RecordedStreams.qml"/>
        <source>Play the layout's cameras in step</source>
        <translation>Reproduzir em sincronia as câmeras do layout</translation>
    </message>
    <message>
        <location filename="../Elements/RecordedStreams.qml"/>
        <source>In step: %1</source>
        <translation>Em sincronia: %1</translation>
    </message>
    <message>
        <location filename="../Elements/RecordedStreams.qml"/>
        <source>Available streams</source>
        <translation>Fluxos disponíveis</translation>
    </message>
</context>
<context>
    <name>ChunkList</name>
    <message>
        <location filename="../Elements/ChunkList.qml"/>
        <source>Recorded chunks</source>
        <translation>Trechos gravados</translation>
    </message>
    <message>
        <location filename="../Elements/ChunkList.qml"/>
        <source>start: %1</source>
        <translation>início: %1</translation>
    </message>
    <message>
        <location filename="../Elements/ChunkList.qml"/>
        <source>end: %1</source>
        <translation>fim: %1</translation>
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
        <translation>Hoje</translation>
    </message>
    <message>
        <location filename="../Elements/RecordedDay.qml"/>
        <source>Previous day</source>
        <translation>Dia anterior</translation>
    </message>
    <message>
        <location filename="../Elements/RecordedDay.qml"/>
        <source>Day (YYYY-MM-DD)</source>
        <translation>Dia (AAAA-MM-DD)</translation>
    </message>
    <message>
        <location filename="../Elements/RecordedDay.qml"/>
        <source>Next day</source>
        <translation>Dia seguinte</translation>
    </message>
</context>
<context>
    <name>PosSearch</name>
    <message>
        <location filename="../Elements/PosSearch.qml"/>
        <source>Search the day's POS text</source>
        <translation>Pesquisar o texto POS do dia</translation>
    </message>
    <message>
        <location filename="../Elements/PosSearch.qml"/>
        <source>More than %1 lines found</source>
        <translation>Mais de %1 linhas encontradas</translation>
    </message>
    <message>
        <location filename="../Elements/PosSearch.qml"/>
        <source>Lines found: %1</source>
        <translation>Linhas encontradas: %1</translation>
    </message>
</context>
<context>
    <name>PlayerBar</name>
    <message>
        <location filename="../Elements/PlayerBar.qml"/>
        <source>Play</source>
        <translation>Reproduzir</translation>
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
        <translation>Quadro anterior</translation>
    </message>
    <message>
        <location filename="../Elements/PlayerBar.qml"/>
        <source>Frame forward</source>
        <translation>Próximo quadro</translation>
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
        <translation>Voltar 5 segundos</translation>
    </message>
    <message>
        <location filename="../Elements/PlayerBar.qml"/>
        <source>Forward 5 seconds</source>
        <translation>Avançar 5 segundos</translation>
    </message>
    <message>
        <location filename="../Elements/PlayerBar.qml"/>
        <source>Speed</source>
        <translation>Velocidade</translation>
    </message>
    <message>
        <location filename="../Elements/PlayerBar.qml"/>
        <source>Position in the chunk</source>
        <translation>Posição no fragmento</translation>
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
        <translation>Marcar fim</translation>
    </message>
    <message>
        <location filename="../Elements/ExportBar.qml"/>
        <source>Set start mark</source>
        <translation>Marcar início</translation>
    </message>
    <message>
        <location filename="../Elements/ExportBar.qml"/>
        <source>Clear marks</source>
        <translation>Limpar marcas</translation>
    </message>
    <message>
        <location filename="../Elements/ExportBar.qml"/>
        <source>Save to:</source>
        <translation>Salvar em:</translation>
    </message>
    <message>
        <location filename="../Elements/ExportBar.qml"/>
        <source>Export marked</source>
        <translation>Exportar o marcado</translation>
    </message>
    <message>
        <location filename="../Elements/ExportBar.qml"/>
        <source>Export chunk</source>
        <translation>Exportar trecho</translation>
    </message>
    <message>
        <location filename="../Elements/ExportBar.qml"/>
        <source>Cancel</source>
        <translation>Cancelar</translation>
    </message>
    <message>
        <location filename="../Elements/ExportBar.qml"/>
        <source>Export folder</source>
        <translation>Pasta de exportação</translation>
    </message>
    <message>
        <location filename="../Elements/ExportBar.qml"/>
        <source>Export progress</source>
        <translation>Progresso da exportação</translation>
    </message>
</context>
<context>
    <name>ChunkMessages</name>
    <message>
        <location filename="../Elements/ChunkMessages.qml"/>
        <source>The chunk could not be fetched: %1</source>
        <translation>Não foi possível baixar o trecho: %1</translation>
    </message>
    <message>
        <location filename="../Elements/ChunkMessages.qml"/>
        <source>The chunk could not be played: the file is damaged or not a video.</source>
        <translation>Não foi possível reproduzir o fragmento: o arquivo está danificado ou não é um vídeo.</translation>
    </message>
</context>
<context>
    <name>AlarmPanel</name>
    <message>
        <location filename="../Elements/AlarmPanel.qml"/>
        <source>All states</source>
        <translation>Todos os estados</translation>
    </message>
    <message>
        <location filename="../Elements/AlarmPanel.qml"/>
        <source>New</source>
        <translation>Nova</translation>
    </message>
    <message>
        <location filename="../Elements/AlarmPanel.qml"/>
        <source>Acknowledged</source>
        <translation>Reconhecida</translation>
    </message>
    <message>
        <location filename="../Elements/AlarmPanel.qml"/>
        <source>Ended</source>
        <translation>Encerrada</translation>
    </message>
    <message>
        <location filename="../Elements/AlarmPanel.qml"/>
        <source>acknowledged by %1, %2</source>
        <translation>reconhecida por %1, %2</translation>
    </message>
    <message>
        <location filename="../Elements/AlarmPanel.qml"/>
        <source>acknowledged, %1</source>
        <translation>reconhecida, %1</translation>
    </message>
    <message>
        <location filename="../Elements/AlarmPanel.qml"/>
        <source>Ended, %1</source>
        <translation>Encerrada, %1</translation>
    </message>
    <message>
        <location filename="../Elements/AlarmPanel.qml"/>
        <source>No camera sees this event&apos;s source</source>
        <translation>Nenhuma câmera vê a origem deste evento</translation>
    </message>
    <message>
        <location filename="../Elements/AlarmPanel.qml"/>
        <source>Events shown: %1 of %2</source>
        <translation>Eventos mostrados: %1 de %2</translation>
    </message>
    <message>
        <location filename="../Elements/AlarmPanel.qml"/>
        <source>Sound off</source>
        <translation>Som desligado</translation>
    </message>
    <message>
        <location filename="../Elements/AlarmPanel.qml"/>
        <source>Sound on</source>
        <translation>Som ligado</translation>
    </message>
    <message>
        <location filename="../Elements/AlarmPanel.qml"/>
        <source>Mute the alarm sound</source>
        <translation>Silenciar o som de alarme</translation>
    </message>
    <message>
        <location filename="../Elements/AlarmPanel.qml"/>
        <source>Search the events</source>
        <translation>Pesquisar nos eventos</translation>
    </message>
    <message>
        <location filename="../Elements/AlarmPanel.qml"/>
        <source>All classes</source>
        <translation>Todas as classes</translation>
    </message>
    <message>
        <location filename="../Elements/AlarmPanel.qml"/>
        <source>Event class</source>
        <translation>Classe de evento</translation>
    </message>
    <message>
        <location filename="../Elements/AlarmPanel.qml"/>
        <source>State</source>
        <translation>Estado</translation>
    </message>
    <message>
        <location filename="../Elements/AlarmPanel.qml"/>
        <source>Minimum priority</source>
        <translation>Prioridade mínima</translation>
    </message>
    <message>
        <location filename="../Elements/AlarmPanel.qml"/>
        <source>All events</source>
        <translation>Todos os eventos</translation>
    </message>
    <message>
        <location filename="../Elements/AlarmPanel.qml"/>
        <source>Acknowledge all shown</source>
        <translation>Reconhecer todos os mostrados</translation>
    </message>
    <message>
        <location filename="../Elements/AlarmPanel.qml"/>
        <source>Events</source>
        <translation>Eventos</translation>
    </message>
    <message>
        <location filename="../Elements/AlarmPanel.qml"/>
        <source>Acknowledge alarms</source>
        <translation>Reconhecer alarmes</translation>
    </message>
    <message>
        <location filename="../Elements/AlarmPanel.qml"/>
        <source>Acknowledge every unacknowledged alarm shown in the list?</source>
        <translation>Reconhecer todos os alarmes não reconhecidos mostrados na lista?</translation>
    </message>
</context>
<context>
    <name>HSpliter</name>
    <message>
        <location filename="../Elements/HSpliter.qml"/>
        <source>Pane divider</source>
        <translation>Divisor de painéis</translation>
    </message>
</context>
<context>
    <name>VSpliter</name>
    <message>
        <location filename="../Elements/VSpliter.qml"/>
        <source>Pane divider</source>
        <translation>Divisor de painéis</translation>
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
        <translation>Alarmes</translation>
    </message>
    <message>
        <location filename="../MainPage.qml"/>
        <source>Alarm panel, %1 not acknowledged</source>
        <translation>Painel de alarmes, %1 não reconhecidos</translation>
    </message>
</context>
<context>
    <name>MultiExportProgress</name>
    <message>
        <location filename="../Elements/MultiExportProgress.qml"/>
        <source>Waiting</source>
        <translation>Aguardando</translation>
    </message>
    <message>
        <location filename="../Elements/MultiExportProgress.qml"/>
        <source>Exporting</source>
        <translation>Exportando</translation>
    </message>
    <message>
        <location filename="../Elements/MultiExportProgress.qml"/>
        <source>Done</source>
        <translation>Concluído</translation>
    </message>
    <message>
        <location filename="../Elements/MultiExportProgress.qml"/>
        <source>Failed: %1</source>
        <translation>Falhou: %1</translation>
    </message>
    <message>
        <location filename="../Elements/MultiExportProgress.qml"/>
        <source>Nothing recorded</source>
        <translation>Nada gravado</translation>
    </message>
    <message>
        <location filename="../Elements/MultiExportProgress.qml"/>
        <source>Cancelled</source>
        <translation>Cancelado</translation>
    </message>
    <message>
        <location filename="../Elements/MultiExportProgress.qml"/>
        <source>Export of the cameras</source>
        <translation>Exportação das câmeras</translation>
    </message>
    <message>
        <location filename="../Elements/MultiExportProgress.qml"/>
        <source>Export progress of %1</source>
        <translation>Progresso da exportação de %1</translation>
    </message>
    <message>
        <location filename="../Elements/MultiExportProgress.qml"/>
        <source>Export progress</source>
        <translation>Progresso da exportação</translation>
    </message>
    <message>
        <location filename="../Elements/MultiExportProgress.qml"/>
        <source>Cancel</source>
        <translation>Cancelar</translation>
    </message>
    <message>
        <location filename="../Elements/MultiExportProgress.qml"/>
        <source>Cancel the export of every camera</source>
        <translation>Cancelar a exportação de todas as câmeras</translation>
    </message>
</context>
<context>
    <name>SyncTile</name>
    <message>
        <location filename="../Elements/SyncTile.qml"/>
        <source>No recording</source>
        <translation>Sem gravação</translation>
    </message>
    <message>
        <location filename="../Elements/SyncTile.qml"/>
        <source>Out of step</source>
        <translation>Fora de sincronia</translation>
    </message>
    <message>
        <location filename="../Elements/SyncTile.qml"/>
        <source>Back in step</source>
        <translation>Voltar à sincronia</translation>
    </message>
</context>
</TS>
