<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="es_ES">
<context>
    <name>AboutDialog</name>
    <message>
        <source>About ...</source>
        <translation>Acerca de ...</translation>
    </message>
    <message>
        <source>Downloader for programable ticket data</source>
        <translation>Descargador de datos de tickets programables</translation>
    </message>
    <message>
        <source>Version %1.%2.%3</source>
        <translation>Versión %1.%2.%3</translation>
    </message>
    <message>
        <source>Programmable Ticket TALVOR<byte value="xd"/>project contributors<byte value="xd"/>2026</source>
        <translation>Programmable Ticket TALVOR<byte value="xd"/>colaboradores del proyecto<byte value="xd"/>2026</translation>
    </message>
</context>
<context>
    <name>BaudDialog</name>
    <message>
        <source>Set Baudrate</source>
        <translation>Velocidad de la línea</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>Aceptar</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancelar</translation>
    </message>
    <message>
        <source>BaudRate</source>
        <translation>Velocidad (baudios)</translation>
    </message>
    <message>
        <source> 4800 bauds</source>
        <translation> 4800</translation>
    </message>
    <message>
        <source> 9600 bauds</source>
        <translation> 9600</translation>
    </message>
    <message>
        <source>19200 bauds</source>
        <translation>19200</translation>
    </message>
    <message>
        <source>38400 bauds</source>
        <translation>38400</translation>
    </message>
    <message>
        <source>57600 bauds</source>
        <translation>57600</translation>
    </message>
    <message>
        <source>115200 bauds</source>
        <translation>115200</translation>
    </message>
</context>
<context>
    <name>ChannelMenu</name>
    <message>
        <source>Close</source>
        <translation>Cerrar</translation>
    </message>
    <message>
        <source>Open</source>
        <translation>Abrir</translation>
    </message>
</context>
<context>
    <name>DownloadHistoryDialog</name>
    <message>
        <source>Download History</source>
        <translation>Historial de descargas</translation>
    </message>
    <message>
        <source>&amp;Serial number:</source>
        <translation>N.º de &amp;serie:</translation>
    </message>
    <message>
        <source>all indicators</source>
        <translation>todos los indicadores</translation>
    </message>
    <message>
        <source>Slot</source>
        <translation>Posición</translation>
    </message>
    <message>
        <source>File</source>
        <translation>Archivo</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>Tamaño</translation>
    </message>
    <message>
        <source>Stored</source>
        <translation>Guardado</translation>
    </message>
    <message>
        <source>Export CSV...</source>
        <translation>Exportar CSV...</translation>
    </message>
    <message>
        <source>Open Folder</source>
        <translation>Abrir carpeta</translation>
    </message>
    <message>
        <source>%1: no download recorded yet</source>
        <translation>%1: aún no hay ninguna descarga registrada</translation>
    </message>
    <message>
        <source>%1 could not be read: %2</source>
        <translation>No se pudo leer %1: %2</translation>
    </message>
    <message>
        <source>Reading %1 ...</source>
        <translation>Leyendo %1 ...</translation>
    </message>
    <message>
        <source>1 damaged line skipped</source>
        <translation>1 línea dañada omitida</translation>
    </message>
    <message>
        <source>%1 damaged lines skipped</source>
        <translation>%1 líneas dañadas omitidas</translation>
    </message>
    <message>
        <source>yes</source>
        <translation>sí</translation>
    </message>
    <message>
        <source>no</source>
        <translation>no</translation>
    </message>
    <message>
        <source>The file %1 could not be written: %2</source>
        <translation>No se pudo escribir el archivo %1: %2</translation>
    </message>
    <message>
        <source>CSV Files</source>
        <translation>Archivos CSV</translation>
    </message>
    <message>
        <source>Export CSV</source>
        <translation>Exportar CSV</translation>
    </message>
    <message>
        <source>The folder %1 could not be opened.</source>
        <translation>No se pudo abrir la carpeta %1.</translation>
    </message>
</context>
<context>
    <name>DownloadHistoryModel</name>
    <message>
        <source>%1, %2 baud</source>
        <translation>%1, %2 baudios</translation>
    </message>
    <message>
        <source>Time</source>
        <translation>Fecha y hora</translation>
    </message>
    <message>
        <source>Serial number</source>
        <translation>Número de serie</translation>
    </message>
    <message>
        <source>Version</source>
        <translation>Versión</translation>
    </message>
    <message>
        <source>Channel</source>
        <translation>Canal</translation>
    </message>
    <message>
        <source>Outcome</source>
        <translation>Resultado</translation>
    </message>
    <message>
        <source>Slots</source>
        <translation>Posiciones</translation>
    </message>
</context>
<context>
    <name>DownloadMessages</name>
    <message>
        <source>Update Error</source>
        <translation>Error de actualización</translation>
    </message>
    <message>
        <source>%1 and %2</source>
        <translation>%1 y %2</translation>
    </message>
    <message>
        <source>The indicator is still answering another command. Nothing was sent; try the download again.</source>
        <translation>El indicador todavía está respondiendo a otro comando. No se envió nada; intente de nuevo la descarga.</translation>
    </message>
    <message>
        <source>Data Error</source>
        <translation>Error de datos</translation>
    </message>
    <message>
        <source>The indicator refused the data of %1 at address %2.</source>
        <translation>El indicador rechazó los datos de %1 en la dirección %2.</translation>
    </message>
    <message>
        <source>The indicator did not answer the write of %1 at address %2.</source>
        <translation>El indicador no respondió a la escritura de %1 en la dirección %2.</translation>
    </message>
    <message>
        <source>The download was cancelled. %1</source>
        <translation>Se canceló la descarga. %1</translation>
    </message>
    <message>
        <source>The download was cancelled. The indicator now holds no valid ticket set; download the tickets again before using it.</source>
        <translation>Se canceló la descarga. El indicador ya no tiene ningún juego de tickets válido; vuelva a descargar los tickets antes de usarlo.</translation>
    </message>
    <message>
        <source>Pointer Error</source>
        <translation>Error de punteros</translation>
    </message>
    <message>
        <source>The indicator refused the pointer entry of %1 at address %2.</source>
        <translation>El indicador rechazó la entrada de puntero de %1 en la dirección %2.</translation>
    </message>
    <message>
        <source>The indicator did not answer the write of the pointer entry of %1 at address %2.</source>
        <translation>El indicador no respondió a la escritura de la entrada de puntero de %1 en la dirección %2.</translation>
    </message>
    <message>
        <source>Error sending Truck Simple Weighing ticket.</source>
        <translation>Error al enviar el ticket de camión pesada simple.</translation>
    </message>
    <message>
        <source>%1: the indicator refused the data at address %2.</source>
        <translation>%1: el indicador rechazó los datos en la dirección %2.</translation>
    </message>
    <message>
        <source>%1: the indicator did not answer a write at address %2.</source>
        <translation>%1: el indicador no respondió a una escritura en la dirección %2.</translation>
    </message>
    <message>
        <source>These tickets were not stored:<byte value="xd"/>
%1<byte value="xd"/>
<byte value="xd"/>
Their pointer entries are cleared, so the indicator does not use them. Download the tickets again.</source>
        <translation>Estos tickets no se guardaron:<byte value="xd"/>
%1<byte value="xd"/>
<byte value="xd"/>
Sus entradas de puntero están borradas, así que el indicador no los usa. Vuelva a descargar los tickets.</translation>
    </message>
    <message>
        <source>The indicator holds none of these tickets.</source>
        <translation>El indicador no tiene ninguno de estos tickets.</translation>
    </message>
    <message>
        <source>The indicator holds the tickets of %1.</source>
        <translation>El indicador tiene los tickets de %1.</translation>
    </message>
    <message>
        <source><byte value="xd"/>
Not stored: %1. Download the tickets again.</source>
        <translation><byte value="xd"/>
No guardados: %1. Vuelva a descargar los tickets.</translation>
    </message>
    <message>
        <source>The indicator&apos;s answers could not be matched to the commands: it sent more answers than it was asked for, again and again.</source>
        <translation>No se pudieron asociar las respuestas del indicador a los comandos: envió más respuestas de las pedidas, una y otra vez.</translation>
    </message>
    <message>
        <source>The connection to the indicator was lost.</source>
        <translation>Se perdió la conexión con el indicador.</translation>
    </message>
    <message>
        <source>The indicator stopped answering.</source>
        <translation>El indicador dejó de responder.</translation>
    </message>
    <message>
        <source>%1 Nothing was sent. Check the cable and the indicator, then download the tickets again.</source>
        <translation>%1 No se envió nada. Revise el cable y el indicador y vuelva a descargar los tickets.</translation>
    </message>
    <message>
        <source>The indicator&apos;s pointer table is cleared, so it holds no valid ticket set.</source>
        <translation>La tabla de punteros del indicador está borrada, así que no tiene ningún juego de tickets válido.</translation>
    </message>
    <message>
        <source>No ticket data was sent. The indicator&apos;s pointer table is partly cleared, so it holds no valid ticket set.</source>
        <translation>No se enviaron datos de tickets. La tabla de punteros del indicador está borrada en parte, así que no tiene ningún juego de tickets válido.</translation>
    </message>
    <message>
        <source>The indicator holds only the tickets of %1.</source>
        <translation>El indicador solo tiene los tickets de %1.</translation>
    </message>
    <message>
        <source>%1, address %2</source>
        <translation>%1, dirección %2</translation>
    </message>
    <message>
        <source>%1 The download stopped at %2.<byte value="xd"/>
<byte value="xd"/>
%3 Check the cable and the indicator, then download the tickets again.</source>
        <translation>%1 La descarga se detuvo en %2.<byte value="xd"/>
<byte value="xd"/>
%3 Revise el cable y el indicador y vuelva a descargar los tickets.</translation>
    </message>
</context>
<context>
    <name>DownloadPanel</name>
    <message>
        <source>Downloading data %1/%2 bytes</source>
        <translation>Descargando datos %1/%2 bytes</translation>
    </message>
    <message>
        <source>Preparing data ...</source>
        <translation>Preparando datos ...</translation>
    </message>
    <message>
        <source>Update pointers ...</source>
        <translation>Actualizando punteros ...</translation>
    </message>
</context>
<context>
    <name>DownloadPlan</name>
    <message>
        <source>The tickets hold %1 bytes in all, more than the %2 bytes of the indicator&apos;s ticket memory. Nothing was sent; remove a ticket and download again.</source>
        <translation>Los tickets ocupan %1 bytes en total, más que los %2 bytes de la memoria de tickets del indicador. No se envió nada; quite un ticket y vuelva a descargar.</translation>
    </message>
    <message>
        <source>The ticket of %1 is one byte long: at address 0000 its pointer entry would read 00000000, which the indicator takes for an empty slot. Nothing was sent; use a ticket file of at least two bytes, or put a longer ticket in a slot before it.</source>
        <translation>El ticket de %1 tiene un solo byte: en la dirección 0000 su entrada de puntero sería 00000000, que el indicador toma por una posición vacía. No se envió nada; use un archivo de ticket de al menos dos bytes o ponga un ticket más largo en una posición anterior.</translation>
    </message>
</context>
<context>
    <name>DownloadProgress</name>
    <message>
        <source>%1 - %2 left</source>
        <translation>%1 - quedan %2</translation>
    </message>
</context>
<context>
    <name>DownloadRecord</name>
    <message>
        <source>The download record %1 could not be written: the folder %2 could not be made.</source>
        <translation>No se pudo escribir el registro de descargas %1: no se pudo crear la carpeta %2.</translation>
    </message>
    <message>
        <source>The download record %1 could not be written: %2</source>
        <translation>No se pudo escribir el registro de descargas %1: %2</translation>
    </message>
</context>
<context>
    <name>FailureTexts</name>
    <message>
        <source>TCP/IP ERROR</source>
        <translation>ERROR TCP/IP</translation>
    </message>
    <message>
        <source>Port Error</source>
        <translation>Error de puerto</translation>
    </message>
    <message>
        <source>%1 did not accept the connection within %2 s.</source>
        <translation>%1 no aceptó la conexión en %2 s.</translation>
    </message>
    <message>
        <source>The connection to the indicator at %1 was lost.</source>
        <translation>Se perdió la conexión con el indicador en %1.</translation>
    </message>
    <message>
        <source>Communication Error</source>
        <translation>Error de comunicación</translation>
    </message>
    <message>
        <source>Indicator does not respond</source>
        <translation>El indicador no responde</translation>
    </message>
    <message>
        <source>Error: %1<byte value="xd"/>
<byte value="xd"/>
%2<byte value="xd"/>
</source>
        <translation>Error: %1<byte value="xd"/>
<byte value="xd"/>
%2<byte value="xd"/>
</translation>
    </message>
    <message>
        <source>Port is used by other aplication</source>
        <translation>El puerto está en uso por otra aplicación</translation>
    </message>
    <message>
        <source>The serial port %1 does not exist.<byte value="xd"/>
<byte value="xd"/>
Plug in the adapter, or choose another port under Comm &gt; Port.</source>
        <translation>El puerto serie %1 no existe.<byte value="xd"/>
<byte value="xd"/>
Conecte el adaptador o elija otro puerto en Comunicación &gt; Puerto.</translation>
    </message>
    <message>
        <source>You may not open the serial port %1.<byte value="xd"/>
<byte value="xd"/>
Ask the administrator to add your user to the group &quot;dialout&quot;, then log out and log in again.</source>
        <translation>No tiene permiso para abrir el puerto serie %1.<byte value="xd"/>
<byte value="xd"/>
Pida al administrador que añada su usuario al grupo &quot;dialout&quot;; después cierre la sesión y vuelva a iniciarla.</translation>
    </message>
    <message>
        <source>%1 is not a serial device, so it cannot be opened as a serial port.</source>
        <translation>%1 no es un dispositivo serie, así que no se puede abrir como puerto serie.</translation>
    </message>
    <message>
        <source>The serial port %1 could not be opened.</source>
        <translation>No se pudo abrir el puerto serie %1.</translation>
    </message>
    <message>
        <source>To trust it, name the certificate of the authority that signed it in CA=, or exactly this certificate in Pin=%1, under [CommSettings] in the settings file.</source>
        <translation>Para confiar en él, indique el certificado de la autoridad que lo firmó en CA=, o exactamente este certificado en Pin=%1, bajo [CommSettings] en el archivo de configuración.</translation>
    </message>
    <message>
        <source>Renew the certificate on the device server; or, to trust exactly this certificate as it is, put Pin=%1 under [CommSettings] in the settings file.</source>
        <translation>Renueve el certificado en el servidor de dispositivos; o, para confiar exactamente en este certificado tal como está, ponga Pin=%1 bajo [CommSettings] en el archivo de configuración.</translation>
    </message>
    <message>
        <source>Connect by a name the certificate is made out to (IP= under [CommSettings] in the settings file), or trust exactly this certificate with Pin=%1 there.</source>
        <translation>Conéctese por un nombre para el que esté emitido el certificado (IP= bajo [CommSettings] en el archivo de configuración), o confíe exactamente en este certificado con Pin=%1 allí.</translation>
    </message>
    <message>
        <source>Name a certificate and key that the device server trusts in Cert= and Key= under [CommSettings] in the settings file.</source>
        <translation>Indique un certificado y una clave en los que confíe el servidor de dispositivos en Cert= y Key= bajo [CommSettings] en el archivo de configuración.</translation>
    </message>
    <message>
        <source>Name this program&apos;s certificate and key in Cert= and Key= under [CommSettings] in the settings file.</source>
        <translation>Indique el certificado y la clave de este programa en Cert= y Key= bajo [CommSettings] en el archivo de configuración.</translation>
    </message>
    <message>
        <source>Store the key without a passphrase (openssl pkey -in KEY -out NEW-KEY), where only this user can read it, and name that file in Key=.</source>
        <translation>Guarde la clave sin frase de contraseña (openssl pkey -in KEY -out NEW-KEY), donde solo este usuario pueda leerla, e indique ese archivo en Key=.</translation>
    </message>
    <message>
        <source>Check CA=, Cert=, Key= and Pin= under [CommSettings] in the settings file.</source>
        <translation>Revise CA=, Cert=, Key= y Pin= bajo [CommSettings] en el archivo de configuración.</translation>
    </message>
</context>
<context>
    <name>HelpDialog</name>
    <message>
        <source>Help</source>
        <translation>Ayuda</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>Aceptar</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>SW-Version:</source>
        <translation>Versión SW:</translation>
    </message>
    <message>
        <source>Serial-Number:</source>
        <translation>N.º de serie:</translation>
    </message>
    <message>
        <source>&amp;DownLoad</source>
        <translation>&amp;Descargar</translation>
    </message>
    <message>
        <source>Connect</source>
        <translation>Conectar</translation>
    </message>
    <message>
        <source>Space for ticket data:  </source>
        <translation>Espacio para datos de tickets:  </translation>
    </message>
    <message>
        <source>Used:</source>
        <translation>Usado:</translation>
    </message>
    <message>
        <source>Free:</source>
        <translation>Libre:</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancelar</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>&amp;Archivo</translation>
    </message>
    <message>
        <source>&amp;Comm</source>
        <translation>&amp;Comunicación</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>A&amp;yuda</translation>
    </message>
    <message>
        <source>Open Ticket Set...</source>
        <translation>Abrir juego de tickets...</translation>
    </message>
    <message>
        <source>Save Ticket Set...</source>
        <translation>Guardar juego de tickets...</translation>
    </message>
    <message>
        <source>Download History...</source>
        <translation>Historial de descargas...</translation>
    </message>
    <message>
        <source>&amp;End</source>
        <translation>&amp;Salir</translation>
    </message>
    <message>
        <source>Port</source>
        <translation>Puerto</translation>
    </message>
    <message>
        <source>Settings</source>
        <translation>Configuración</translation>
    </message>
    <message>
        <source>Open</source>
        <translation>Abrir</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>Ayuda</translation>
    </message>
    <message>
        <source>About</source>
        <translation>Acerca de</translation>
    </message>
    <message>
        <source>Not recorded: %1</source>
        <translation>No registrado: %1</translation>
    </message>
    <message>
        <source>Port closed</source>
        <translation>Puerto cerrado</translation>
    </message>
    <message>
        <source>Connecting ...</source>
        <translation>Conectando ...</translation>
    </message>
    <message>
        <source>Port opened</source>
        <translation>Puerto abierto</translation>
    </message>
    <message>
        <source>A download is running. If you quit now, the indicator keeps no valid ticket set. Quit anyway?</source>
        <translation>Hay una descarga en curso. Si sale ahora, el indicador se queda sin un juego de tickets válido. ¿Salir de todos modos?</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Salir</translation>
    </message>
</context>
<context>
    <name>Outcome</name>
    <message>
        <source>none</source>
        <translation>ninguno</translation>
    </message>
    <message>
        <source>answered</source>
        <translation>respondido</translation>
    </message>
    <message>
        <source>stored</source>
        <translation>guardado</translation>
    </message>
    <message>
        <source>refused</source>
        <translation>rechazado</translation>
    </message>
    <message>
        <source>stopped</source>
        <translation>detenido</translation>
    </message>
    <message>
        <source>cancelled</source>
        <translation>cancelado</translation>
    </message>
    <message>
        <source>lost</source>
        <translation>perdido</translation>
    </message>
    <message>
        <source>already stored</source>
        <translation>ya guardado</translation>
    </message>
</context>
<context>
    <name>PortDialog</name>
    <message>
        <source>Set COM PORT</source>
        <translation>Puerto COM</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>Aceptar</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancelar</translation>
    </message>
    <message>
        <source>COM PORT</source>
        <translation>PUERTO COM</translation>
    </message>
</context>
<context>
    <name>PortToolTip</name>
    <message>
        <source>Device: %1</source>
        <translation>Dispositivo: %1</translation>
    </message>
    <message>
        <source>Adapter: %1</source>
        <translation>Adaptador: %1</translation>
    </message>
    <message>
        <source>Manufacturer: %1</source>
        <translation>Fabricante: %1</translation>
    </message>
    <message>
        <source>Serial number: %1</source>
        <translation>Número de serie: %1</translation>
    </message>
</context>
<context>
    <name>Rfc2217Channel</name>
    <message>
        <source>%1 does not speak RFC 2217; use tcp:%1 for a raw TCP port</source>
        <translation>%1 no habla RFC 2217; use tcp:%1 para un puerto TCP sin protocolo</translation>
    </message>
    <message>
        <source>No baud rate was set for %1.</source>
        <translation>No se fijó ninguna velocidad en baudios para %1.</translation>
    </message>
    <message>
        <source>%1 set the serial line to %2 baud instead of the %3 baud asked</source>
        <translation>%1 puso la línea serie a %2 baudios en lugar de los %3 baudios pedidos</translation>
    </message>
    <message>
        <source>data bits</source>
        <translation>los bits de datos</translation>
    </message>
    <message>
        <source>parity</source>
        <translation>la paridad</translation>
    </message>
    <message>
        <source>stop bits</source>
        <translation>los bits de parada</translation>
    </message>
    <message>
        <source>flow control</source>
        <translation>el control de flujo</translation>
    </message>
    <message>
        <source>none</source>
        <translation>ninguno</translation>
    </message>
    <message>
        <source>%1 set the %2 of the serial line to %3 instead of %4</source>
        <translation>%1 puso %2 de la línea serie a %3 en lugar de %4</translation>
    </message>
    <message>
        <source>%1 did not confirm the rate of %2 baud within %3 s</source>
        <translation>%1 no confirmó la velocidad de %2 baudios en %3 s</translation>
    </message>
    <message>
        <source>%1 closed the connection.</source>
        <translation>%1 cerró la conexión.</translation>
    </message>
    <message>
        <source>%1 closed the connection before the serial line was set up</source>
        <translation>%1 cerró la conexión antes de configurarse la línea serie</translation>
    </message>
    <message>
        <source>%1 does not speak RFC 2217; use tls:%1 for a raw port inside TLS</source>
        <translation>%1 no habla RFC 2217; use tls:%1 para un puerto sin protocolo dentro de TLS</translation>
    </message>
    <message>
        <source>unknown</source>
        <translation>desconocido</translation>
    </message>
    <message>
        <source>odd</source>
        <translation>impar</translation>
    </message>
    <message>
        <source>even</source>
        <translation>par</translation>
    </message>
    <message>
        <source>mark</source>
        <translation>marca</translation>
    </message>
    <message>
        <source>space</source>
        <translation>espacio</translation>
    </message>
    <message>
        <source>hardware</source>
        <translation>por hardware</translation>
    </message>
</context>
<context>
    <name>SlotTable</name>
    <message>
        <source>Gross/Net/Tare Ticket </source>
        <translation>Ticket bruto/neto/tara </translation>
    </message>
    <message>
        <source>Truck 1st Weighing </source>
        <translation>Camión 1.ª pesada </translation>
    </message>
    <message>
        <source>Truck Complete Weighing </source>
        <translation>Camión pesada completa </translation>
    </message>
    <message>
        <source>Industrial: Total Header</source>
        <translation>Industrial: cabecera de totales</translation>
    </message>
    <message>
        <source>Industrial: Total Body</source>
        <translation>Industrial: cuerpo de totales</translation>
    </message>
    <message>
        <source>Industrial: Total Footer</source>
        <translation>Industrial: pie de totales</translation>
    </message>
    <message>
        <source>Truck Simple Weighing</source>
        <translation>Camión pesada simple</translation>
    </message>
    <message>
        <source>slot %1 (%2)</source>
        <translation>la posición %1 (%2)</translation>
    </message>
</context>
<context>
    <name>StatusPanels</name>
    <message>
        <source>Not connected</source>
        <translation>Sin conexión</translation>
    </message>
</context>
<context>
    <name>TcpChannel</name>
    <message>
        <source>The indicator closed the connection.</source>
        <translation>El indicador cerró la conexión.</translation>
    </message>
</context>
<context>
    <name>TcpHostDialog</name>
    <message>
        <source>TCP/IP Settings</source>
        <translation>Configuración TCP/IP</translation>
    </message>
    <message>
        <source>IP Host</source>
        <translation>Host IP</translation>
    </message>
    <message>
        <source>Remote Port</source>
        <translation>Puerto remoto</translation>
    </message>
</context>
<context>
    <name>TicketArea</name>
    <message>
        <source>Print Files(*.prn) or Text Files(*.txt)</source>
        <translation>Archivos de impresión(*.prn) o de texto(*.txt)</translation>
    </message>
    <message>
        <source>Ticket Sets</source>
        <translation>Juegos de tickets</translation>
    </message>
    <message>
        <source>File Error</source>
        <translation>Error de archivo</translation>
    </message>
    <message>
        <source>These tickets are 1 byte too large to download:
they hold %1 bytes, the indicator&apos;s ticket memory %2.</source>
        <translation>Estos tickets son 1 byte demasiado grandes para descargarlos:
ocupan %1 bytes; la memoria de tickets del indicador, %2.</translation>
    </message>
    <message>
        <source>These tickets are %1 bytes too large to download:
they hold %2 bytes, the indicator&apos;s ticket memory %3.</source>
        <translation>Estos tickets son %1 bytes demasiado grandes para descargarlos:
ocupan %2 bytes; la memoria de tickets del indicador, %3.</translation>
    </message>
</context>
<context>
    <name>TicketPreview</name>
    <message>
        <source>1 byte</source>
        <translation>1 byte</translation>
    </message>
    <message>
        <source>%1 bytes</source>
        <translation>%1 bytes</translation>
    </message>
    <message>
        <source>%1, SHA-256 %2</source>
        <translation>%1, SHA-256 %2</translation>
    </message>
</context>
<context>
    <name>TicketPreviewDialog</name>
    <message>
        <source>Ticket Preview</source>
        <translation>Vista previa del ticket</translation>
    </message>
    <message>
        <source>Text</source>
        <translation>Texto</translation>
    </message>
    <message>
        <source>Hex</source>
        <translation>Hex</translation>
    </message>
    <message>
        <source>Ticket Preview - %1</source>
        <translation>Vista previa del ticket - %1</translation>
    </message>
    <message>
        <source>a control byte, shown by its name; all other text is the ticket&apos;s own</source>
        <translation>un byte de control, mostrado por su nombre; todo lo demás es texto propio del ticket</translation>
    </message>
</context>
<context>
    <name>TicketSet</name>
    <message>
        <source>The ticket set %1 could not be read: %2</source>
        <translation>No se pudo leer el juego de tickets %1: %2</translation>
    </message>
    <message>
        <source>The ticket set %1 could not be written: %2</source>
        <translation>No se pudo escribir el juego de tickets %1: %2</translation>
    </message>
    <message>
        <source>the section name %1 has no closing ]</source>
        <translation>al nombre de sección %1 le falta el ] de cierre</translation>
    </message>
    <message>
        <source>unknown section %1; a ticket set has only [TicketSet]</source>
        <translation>sección desconocida %1; un juego de tickets solo tiene [TicketSet]</translation>
    </message>
    <message>
        <source>%1 is not a key=value line, a [section], a comment or blank</source>
        <translation>%1 no es una línea clave=valor, una [sección], un comentario ni una línea en blanco</translation>
    </message>
    <message>
        <source>there is no key before the &apos;=&apos;</source>
        <translation>no hay ninguna clave antes del &apos;=&apos;</translation>
    </message>
    <message>
        <source>unknown key %1; a ticket set has only Slot1 to Slot7</source>
        <translation>clave desconocida %1; un juego de tickets solo tiene Slot1 a Slot7</translation>
    </message>
    <message>
        <source>%1 names no slot; the slots are Slot1 to Slot7</source>
        <translation>%1 no nombra ninguna posición; las posiciones son Slot1 a Slot7</translation>
    </message>
    <message>
        <source>No ticket set file was chosen.</source>
        <translation>No se eligió ningún archivo de juego de tickets.</translation>
    </message>
    <message>
        <source>it is larger than %1 bytes, too large for a ticket set</source>
        <translation>ocupa más de %1 bytes, demasiado para un juego de tickets</translation>
    </message>
    <message>
        <source>line %1: %2.</source>
        <translation>línea %1: %2.</translation>
    </message>
    <message>
        <source>it is not UTF-8 text</source>
        <translation>no es texto UTF-8</translation>
    </message>
    <message>
        <source>a second [TicketSet] section (the first is on line %1)</source>
        <translation>una segunda sección [TicketSet] (la primera está en la línea %1)</translation>
    </message>
    <message>
        <source>Slot%1 stands before the [TicketSet] section</source>
        <translation>Slot%1 está antes de la sección [TicketSet]</translation>
    </message>
    <message>
        <source>Slot%1 is given twice (first on line %2)</source>
        <translation>Slot%1 aparece dos veces (la primera en la línea %2)</translation>
    </message>
    <message>
        <source>it has no [TicketSet] section.</source>
        <translation>no tiene sección [TicketSet].</translation>
    </message>
    <message>
        <source>the path of slot %1 holds a line break.</source>
        <translation>la ruta de la posición %1 contiene un salto de línea.</translation>
    </message>
    <message>
        <source>the path of slot %1 (%2) is not absolute.</source>
        <translation>la ruta de la posición %1 (%2) no es absoluta.</translation>
    </message>
    <message>
        <source>1 ticket of the set could not be loaded; its slot is left empty:</source>
        <translation>No se pudo cargar 1 ticket del juego; su posición queda vacía:</translation>
    </message>
    <message>
        <source>%1 tickets of the set could not be loaded; their slots are left empty:</source>
        <translation>No se pudieron cargar %1 tickets del juego; sus posiciones quedan vacías:</translation>
    </message>
    <message>
        <source>it holds a NUL byte</source>
        <translation>contiene un byte NUL</translation>
    </message>
    <message>
        <source>Slot%1 names this ticket set, not a ticket</source>
        <translation>Slot%1 nombra este mismo juego de tickets, no un ticket</translation>
    </message>
</context>
<context>
    <name>TicketSlotBox</name>
    <message>
        <source>File:</source>
        <translation>Archivo:</translation>
    </message>
    <message>
        <source>Size:</source>
        <translation>Tamaño:</translation>
    </message>
    <message>
        <source>bytes</source>
        <translation>bytes</translation>
    </message>
    <message>
        <source>Add Ticket</source>
        <translation>Añadir ticket</translation>
    </message>
    <message>
        <source>Remove</source>
        <translation>Quitar</translation>
    </message>
    <message>
        <source>Preview</source>
        <translation>Vista previa</translation>
    </message>
</context>
<context>
    <name>TicketSlots</name>
    <message>
        <source>The file %1 could not be read: %2</source>
        <translation>No se pudo leer el archivo %1: %2</translation>
    </message>
    <message>
        <source>There is no ticket slot %1.</source>
        <translation>No existe la posición de ticket %1.</translation>
    </message>
    <message>
        <source>No file was chosen.</source>
        <translation>No se eligió ningún archivo.</translation>
    </message>
    <message>
        <source>The file %1 is too large to be a ticket: %2 bytes (at most %3 bytes can be loaded).</source>
        <translation>El archivo %1 es demasiado grande para ser un ticket: %2 bytes (se pueden cargar %3 bytes como máximo).</translation>
    </message>
    <message>
        <source>The file %1 is too large to be a ticket (more than %2 bytes).</source>
        <translation>El archivo %1 es demasiado grande para ser un ticket (más de %2 bytes).</translation>
    </message>
    <message>
        <source>The file %1 is a ticket set, not a ticket.</source>
        <translation>El archivo %1 es un juego de tickets, no un ticket.</translation>
    </message>
</context>
<context>
    <name>TlsChannel</name>
    <message>
        <source>The pin %1 is no certificate fingerprint: give SHA256: and the 64 hex digits of the certificate&apos;s SHA-256.</source>
        <translation>El pin %1 no es una huella de certificado: indique SHA256: y los 64 dígitos hexadecimales del SHA-256 del certificado.</translation>
    </message>
    <message>
        <source>The CA file %1 cannot be read: %2</source>
        <translation>No se puede leer el archivo de CA %1: %2</translation>
    </message>
    <message>
        <source>The CA file %1 holds no certificate.</source>
        <translation>El archivo de CA %1 no contiene ningún certificado.</translation>
    </message>
    <message>
        <source>The certificate file %1 is given without its key file.</source>
        <translation>Se indica el archivo de certificado %1 sin su archivo de clave.</translation>
    </message>
    <message>
        <source>The key file %1 is given without its certificate file.</source>
        <translation>Se indica el archivo de clave %1 sin su archivo de certificado.</translation>
    </message>
    <message>
        <source>The certificate file %1 cannot be read: %2</source>
        <translation>No se puede leer el archivo de certificado %1: %2</translation>
    </message>
    <message>
        <source>The certificate file %1 holds no certificate.</source>
        <translation>El archivo de certificado %1 no contiene ningún certificado.</translation>
    </message>
    <message>
        <source>The key file %1 cannot be read: %2</source>
        <translation>No se puede leer el archivo de clave %1: %2</translation>
    </message>
    <message>
        <source>The key file %1 is protected by a passphrase, which this program cannot ask for.</source>
        <translation>El archivo de clave %1 está protegido por una frase de contraseña, que este programa no puede pedir.</translation>
    </message>
    <message>
        <source>The key file %1 holds no private key this program can read (RSA, EC or DSA, in PEM or DER).</source>
        <translation>El archivo de clave %1 no contiene ninguna clave privada que este programa pueda leer (RSA, EC o DSA, en PEM o DER).</translation>
    </message>
    <message>
        <source>The device server at %1 is not trusted: its certificate &quot;%2&quot; (%3) is not the one pinned (%4).</source>
        <translation>No se confía en el servidor de dispositivos en %1: su certificado «%2» (%3) no es el fijado (%4).</translation>
    </message>
    <message>
        <source>The device server at %1 is not trusted: its certificate &quot;%2&quot; (%3) is signed by no authority trusted here (%4).</source>
        <translation>No se confía en el servidor de dispositivos en %1: su certificado «%2» (%3) no lo firma ninguna autoridad de confianza aquí (%4).</translation>
    </message>
    <message>
        <source>The device server at %1 is not trusted: its certificate &quot;%2&quot; (%3) is valid from %4 to %5, not now (%6).</source>
        <translation>No se confía en el servidor de dispositivos en %1: su certificado «%2» (%3) es válido de %4 a %5, no ahora (%6).</translation>
    </message>
    <message>
        <source>The device server at %1 is not trusted: its certificate &quot;%2&quot; (%3) is made out to %4, not to %5 (%6).</source>
        <translation>No se confía en el servidor de dispositivos en %1: su certificado «%2» (%3) está emitido para %4, no para %5 (%6).</translation>
    </message>
    <message>
        <source>The device server at %1 asks for a client certificate, and none is given (the server said: %2).</source>
        <translation>El servidor de dispositivos en %1 pide un certificado de cliente, y no se ha indicado ninguno (el servidor dijo: %2).</translation>
    </message>
    <message>
        <source>The device server at %1 refused this program&apos;s certificate &quot;%2&quot; (%3; the server said: %4).</source>
        <translation>El servidor de dispositivos en %1 rechazó el certificado «%2» de este programa (%3; el servidor dijo: %4).</translation>
    </message>
    <message>
        <source>The certificate file %1 and the key file %2 cannot be used together: %3</source>
        <translation>El archivo de certificado %1 y el archivo de clave %2 no se pueden usar juntos: %3</translation>
    </message>
    <message>
        <source>it is larger than %1 MiB</source>
        <translation>ocupa más de %1 MiB</translation>
    </message>
</context>
</TS>
