<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ru_RU">
<context>
    <name>AtomicFile</name>
    <message>
        <location filename="../core/atomicfile.cpp" line="+70"/>
        <location line="+56"/>
        <location line="+22"/>
        <source>Can not read %1: %2</source>
        <translation>Не удалось прочитать %1: %2</translation>
    </message>
    <message>
        <location line="-75"/>
        <location line="+158"/>
        <source>%1 is a symbolic link; it was not written.</source>
        <translation>%1 является символической ссылкой; запись не выполнена.</translation>
    </message>
    <message>
        <location line="-154"/>
        <location line="+158"/>
        <location line="+12"/>
        <source>%1 is not a regular file; it was not written.</source>
        <translation>%1 не является обычным файлом; запись не выполнена.</translation>
    </message>
    <message>
        <location line="-158"/>
        <source>Can not keep the owner of %1: %2</source>
        <translation>Не удалось сохранить владельца %1: %2</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Can not set the permissions of %1: %2</source>
        <translation>Не удалось установить права доступа %1: %2</translation>
    </message>
    <message>
        <location line="+3"/>
        <location line="+99"/>
        <source>Can not write %1: %2</source>
        <translation>Не удалось записать %1: %2</translation>
    </message>
    <message>
        <location line="-59"/>
        <source>%1 is not a regular file.</source>
        <translation>%1 не является обычным файлом.</translation>
    </message>
    <message>
        <location line="+43"/>
        <source>%1 has changed since it was read; it was not written.</source>
        <translation>%1 изменился после чтения; запись не выполнена.</translation>
    </message>
    <message>
        <location line="+10"/>
        <source>Can not create a new file beside %1: %2</source>
        <translation>Не удалось создать новый файл рядом с %1: %2</translation>
    </message>
    <message>
        <location line="+12"/>
        <source>Can not replace %1: %2</source>
        <translation>Не удалось заменить %1: %2</translation>
    </message>
    <message>
        <location line="+39"/>
        <location line="+13"/>
        <source>Can not open %1: %2</source>
        <translation>Не удалось открыть %1: %2</translation>
    </message>
</context>
<context>
    <name>AuditRunner</name>
    <message>
        <location filename="../cli/auditrunner.cpp" line="+21"/>
        <source>Interrupted: the verification is cancelled.</source>
        <translation>Прервано: проверка отменена.</translation>
    </message>
</context>
<context>
    <name>Bsign</name>
    <message>
        <location filename="../signing/bsign.cpp" line="+114"/>
        <source>No error</source>
        <translation>Нет ошибок</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Permission denied</source>
        <translation>Доступ запрещён</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>File not found</source>
        <translation>Файл не найден</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>No memory</source>
        <translation>Недостаточно памяти</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Is directory</source>
        <translation>Является каталогом</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Invalid argument</source>
        <translation>Недопустимый аргумент</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Too many open files</source>
        <translation>Слишком много открытых файлов</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>File busy</source>
        <translation>Файл занят</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>No space on device</source>
        <translation>На устройстве не осталось места</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Name too long</source>
        <translation>Слишком длинное имя</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>No hash found</source>
        <translation>Хеш не найден</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>No signature found</source>
        <translation>Подпись не найдена</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Bad hash found</source>
        <translation>Обнаружен неверный хеш</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Bad signature found</source>
        <translation>Обнаружена неверная подпись</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Unsupported file type</source>
        <translation>Неподдерживаемый тип файла</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Bad pass phrase</source>
        <translation>Неверная парольная фраза</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Rewrite failed</source>
        <translation>Не удалось перезаписать файл</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>Unknown error</source>
        <translation>Неизвестная ошибка</translation>
    </message>
</context>
<context>
    <name>Command</name>
    <message>
        <location filename="../cli/command.cpp" line="+71"/>
        <source>Usage:</source>
        <translation>Использование:</translation>
    </message>
    <message>
        <location line="+8"/>
        <source>Command %1:</source>
        <translation>Команда %1:</translation>
    </message>
    <message>
        <location line="+29"/>
        <source>Show this help.</source>
        <translation>Показать эту справку.</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>Run &quot;cova-digsig %1 --help&quot; for its usage.</source>
        <translation>Запустите «cova-digsig %1 --help», чтобы узнать, как её использовать.</translation>
    </message>
    <message>
        <location line="+20"/>
        <source>&quot;cova-digsig %1&quot; changes the system and must be run as root.</source>
        <translation>«cova-digsig %1» изменяет систему и должна запускаться от имени root.</translation>
    </message>
    <message>
        <location line="+15"/>
        <source>The signing tool &quot;%1&quot; is not in the search path (PATH); install it or add its folder to PATH.</source>
        <translation>Программы подписи «%1» нет в пути поиска (PATH); установите её или добавьте её каталог в PATH.</translation>
    </message>
    <message>
        <location line="+13"/>
        <source>--mode takes elf, xattr or both, not &quot;%1&quot;.</source>
        <translation>--mode принимает elf, xattr или both, а не «%1».</translation>
    </message>
    <message>
        <location line="+15"/>
        <source>--jobs takes a number from 1 to %1, not &quot;%2&quot;.</source>
        <translation>--jobs принимает число от 1 до %1, а не «%2».</translation>
    </message>
</context>
<context>
    <name>CommandLine</name>
    <message>
        <location filename="../cli/commandline.cpp" line="+66"/>
        <source>Usage: cova-digsig [--sysroot DIR] COMMAND [OPTIONS] [ARGUMENTS]</source>
        <translation>Использование: cova-digsig [--sysroot КАТАЛОГ] КОМАНДА [ПАРАМЕТРЫ] [АРГУМЕНТЫ]</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Manages the kernel&apos;s verification of the digital signatures of executables from the command line, with the same code as the console&apos;s plug-in: the settings, the control file of extended-attribute verification, the signing and the verification of files.</source>
        <translation>Управляет проверкой ядром цифровых подписей исполняемых файлов из командной строки тем же кодом, что и модуль консоли: настройки, файл контроля проверки по расширенным атрибутам, подпись и проверка файлов.</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Commands:</source>
        <translation>Команды:</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>Run &quot;cova-digsig COMMAND --help&quot; for the usage and the options of a command, &quot;cova-digsig --help-all&quot; for those of every command.</source>
        <translation>Запустите «cova-digsig КОМАНДА --help», чтобы узнать использование и параметры команды, «cova-digsig --help-all» — всех команд.</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Exit status:</source>
        <translation>Код завершения:</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>Done.</source>
        <translation>Выполнено.</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Some file failed to sign or verify or is unsigned, or the check before switching ELF verification to On found unsigned programs.</source>
        <translation>Какой-то файл не удалось подписать или проверить, или он не подписан, или проверка перед включением проверки ELF нашла неподписанные программы.</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Usage error.</source>
        <translation>Ошибка использования.</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>The environment stopped the command: a tool or key missing, settings that cannot be read or changed since they were read, a file not written, a failed rebuild.</source>
        <translation>Команду остановило окружение: нет программы или ключа, настройки не читаются или изменились после чтения, файл не записан, пересборка не удалась.</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>Errors go to standard error, one line each; with --json, standard output holds one JSON object.</source>
        <translation>Ошибки выводятся в стандартный поток ошибок, по одной строке; с --json стандартный вывод содержит один объект JSON.</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Options:</source>
        <translation>Параметры:</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Use DIR as the root of every system path (a sandbox): the settings, the keys, the logs and the absolute paths given to the commands lie inside it, and so does GnuPG&apos;s home unless GNUPGHOME is set. DIGSIG_SYSROOT does the same.</source>
        <translation>Использовать КАТАЛОГ как корень всех системных путей (песочница): настройки, ключи, журналы и абсолютные пути, переданные командам, находятся внутри него, как и домашний каталог GnuPG, если не задана GNUPGHOME. DIGSIG_SYSROOT делает то же самое.</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>Show this help.</source>
        <translation>Показать эту справку.</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Show this help and that of every command.</source>
        <translation>Показать эту справку и справку всех команд.</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Show the version.</source>
        <translation>Показать версию.</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>Examples:</source>
        <translation>Примеры:</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>  Show the settings as JSON:</source>
        <translation>  Показать настройки в виде JSON:</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>  Let ELF verification only warn, without a rebuild yet:</source>
        <translation>  Проверка ELF только предупреждает, пока без пересборки:</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>  Verify everything under /opt/app through extended attributes:</source>
        <translation>  Проверять всё в /opt/app по расширенным атрибутам:</translation>
    </message>
    <message>
        <location line="+29"/>
        <source>Run &quot;cova-digsig --help&quot; for the usage.</source>
        <translation>Запустите «cova-digsig --help», чтобы узнать использование.</translation>
    </message>
    <message>
        <location line="+18"/>
        <source>The sandbox root %1 is not a folder.</source>
        <translation>Корень песочницы %1 не является каталогом.</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>No command given.</source>
        <translation>Команда не задана.</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Unknown command &quot;%1&quot;.</source>
        <translation>Неизвестная команда «%1».</translation>
    </message>
</context>
<context>
    <name>CommandOutput</name>
    <message>
        <location filename="../cli/commandoutput.cpp" line="+67"/>
        <source>warning: </source>
        <translation>предупреждение: </translation>
    </message>
</context>
<context>
    <name>ControlCommand</name>
    <message>
        <location filename="../cli/controlcommand.cpp" line="+70"/>
        <source>List the paths verified through extended attributes, or add and remove them.</source>
        <translation>Показать пути, проверяемые по расширенным атрибутам, или добавить и удалить их.</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>A PATH is a template of the control file as written, //FILE for one file or FOLDER/ for everything in a folder, or an absolute path whose template follows from what it names now. After a change the initial RAM file system is rebuilt.</source>
        <translation>ПУТЬ — это шаблон файла контроля как он записан, //ФАЙЛ для одного файла или КАТАЛОГ/ для всего в каталоге, или абсолютный путь, шаблон которого следует из того, на что он сейчас указывает. После изменения начальная файловая система в ОЗУ пересобирается.</translation>
    </message>
    <message>
        <location line="+7"/>
        <source>list, add or remove.</source>
        <translation>list, add или remove.</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>The paths to add or remove.</source>
        <translation>Пути для добавления или удаления.</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>Write the control file without rebuilding the initial RAM file system; the next change without this option rebuilds it.</source>
        <translation>Записать файл контроля без пересборки начальной файловой системы в ОЗУ; её пересоберёт следующее изменение без этого параметра.</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Print one JSON object.</source>
        <translation>Вывести один объект JSON.</translation>
    </message>
    <message>
        <location line="+10"/>
        <source>&quot;control list&quot; takes no paths.</source>
        <translation>«control list» не принимает путей.</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>&quot;control %1&quot; needs at least one PATH.</source>
        <translation>«control %1» требует хотя бы один ПУТЬ.</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>&quot;control&quot; needs an action: list, add or remove.</source>
        <translation>«control» требует действия: list, add или remove.</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Unknown action &quot;%1&quot;: use list, add or remove.</source>
        <translation>Неизвестное действие «%1»: используйте list, add или remove.</translation>
    </message>
    <message>
        <location line="+8"/>
        <source>%1 cannot be read.</source>
        <translation>Не удаётся прочитать %1.</translation>
    </message>
    <message>
        <location line="+23"/>
        <source>&quot;%1&quot; holds a line break; a line of the control file cannot.</source>
        <translation>«%1» содержит перевод строки; строка файла контроля не может его содержать.</translation>
    </message>
    <message>
        <location line="+8"/>
        <source>&quot;%1&quot; is not an absolute path, so it names no file.</source>
        <translation>«%1» не является абсолютным путём, поэтому не указывает ни на какой файл.</translation>
    </message>
    <message>
        <location line="+7"/>
        <source>&quot;/&quot; names the whole file system; name its folders instead.</source>
        <translation>«/» обозначает всю файловую систему; укажите вместо этого её каталоги.</translation>
    </message>
    <message>
        <location line="+13"/>
        <source>%1 does not exist; write //%1 for a file or %1/ for a folder.</source>
        <translation>%1 не существует; напишите //%1 для файла или %1/ для каталога.</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Line %1 exceeds the size limit.</source>
        <translation>Строка %1 превышает допустимый размер.</translation>
    </message>
    <message>
        <location line="+21"/>
        <source>%1 cannot be read; nothing was written.</source>
        <translation>Не удаётся прочитать %1; ничего не записано.</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>%1 holds bytes that cannot be edited as text (not UTF-8, NUL or carriage returns); it was left unchanged.</source>
        <translation>%1 содержит байты, которые нельзя править как текст (не UTF-8, NUL или возвраты каретки); файл оставлен без изменений.</translation>
    </message>
    <message>
        <location line="+52"/>
        <source>Added to %1: %2</source>
        <translation>Добавлено в %1: %2</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Removed from %1: %2</source>
        <translation>Удалено из %1: %2</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Already in %1: %2</source>
        <translation>Уже есть в %1: %2</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Not in %1: %2</source>
        <translation>Нет в %1: %2</translation>
    </message>
</context>
<context>
    <name>CreateKeyDialog</name>
    <message>
        <location filename="../keys/createkeydialog.ui" line="+14"/>
        <source>Create key</source>
        <translation>Создание ключа</translation>
    </message>
    <message>
        <location line="+8"/>
        <source>&amp;Name:</source>
        <translation>&amp;Имя:</translation>
    </message>
    <message>
        <location line="+17"/>
        <source>&amp;EMail:</source>
        <translation>&amp;Эл. почта:</translation>
    </message>
    <message>
        <location line="+17"/>
        <source>&amp;Comment:</source>
        <translation>&amp;Комментарий:</translation>
    </message>
    <message>
        <location filename="../keys/createkeydialog.cpp" line="+61"/>
        <source>Name shouldn&apos;t be shorter than 5 characters.</source>
        <translation>Имя должно содержать не менее 5 символов.</translation>
    </message>
    <message>
        <location line="+8"/>
        <source>The e-mail address %1 is not complete.</source>
        <translation>Адрес электронной почты %1 неполон.</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Enter a whole address such as name@example.org, or leave the field empty.</source>
        <translation>Введите полный адрес, например name@example.org, или оставьте поле пустым.</translation>
    </message>
    <message>
        <location line="+16"/>
        <source>Key generation error:</source>
        <translation>Ошибка создания ключа:</translation>
    </message>
    <message>
        <location line="+9"/>
        <source>Key generated successfully.</source>
        <translation>Ключ успешно создан.</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Fingerprint: </source>
        <translation>Отпечаток: </translation>
    </message>
</context>
<context>
    <name>DigSigElement</name>
    <message>
        <location filename="../plugin/digsigelement.cpp" line="+17"/>
        <source>Digital signature management</source>
        <translation>Управление цифровой подписью</translation>
    </message>
    <message>
        <location line="+14"/>
        <source>Digital signature management settings</source>
        <translation>Настройки управления цифровой подписью</translation>
    </message>
</context>
<context>
    <name>DigSigElementWidget</name>
    <message>
        <location filename="../widgets/digsigelementwidget.ui" line="+17"/>
        <source>Settings</source>
        <translation>Настройки</translation>
    </message>
    <message>
        <location line="+9"/>
        <source>Control panel</source>
        <translation>Панель управления</translation>
    </message>
    <message>
        <location line="+9"/>
        <source>Control executable files</source>
        <translation>Контроль исполняемых файлов</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;Disable cheking executable files&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;Отключить проверку исполняемых файлов&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <location line="+3"/>
        <location line="+67"/>
        <source>Off</source>
        <translation>Выключено</translation>
    </message>
    <message>
        <location line="-57"/>
        <location line="+67"/>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;System will issue warnings about unsigned files&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;Система будет выдавать предупреждения о неподписанных файлах&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <location line="-64"/>
        <location line="+67"/>
        <source>Debug</source>
        <translation>Отладка</translation>
    </message>
    <message>
        <location line="-57"/>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;Enable cheking executable files&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;Включить проверку исполняемых файлов&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <location line="+3"/>
        <location line="+67"/>
        <source>On</source>
        <translation>Включено</translation>
    </message>
    <message>
        <location line="-57"/>
        <source>Verify the signatures of the ELF files in the folders that hold programs and libraries: under On, those without a good signature would not run</source>
        <translation>Проверить подписи ELF-файлов в каталогах программ и библиотек: при включённой проверке файлы без верной подписи не запустятся</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Check executables…</source>
        <translation>Проверить исполняемые файлы…</translation>
    </message>
    <message>
        <location line="+19"/>
        <source>Control extended attributes</source>
        <translation>Контроль расширенных атрибутов</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;Disable control externded attributes files&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;Отключить контроль файлов по расширенным атрибутам&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <location line="+26"/>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;Enable control externded attributes files&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;Включить контроль файлов по расширенным атрибутам&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <location line="+16"/>
        <source>File templates for extended attributes</source>
        <translation>Шаблоны файлов для контроля по расширенным атрибутам</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>/etc/digsig/xattr_control:</source>
        <translation>/etc/digsig/xattr_control:</translation>
    </message>
    <message>
        <location line="+10"/>
        <source>To check single files, you should add a slash to the beginning of the path. For example, //bin/dash</source>
        <translation>Чтобы проверять отдельный файл, добавьте косую черту в начало пути. Например, //bin/dash</translation>
    </message>
    <message>
        <location line="+10"/>
        <source>To check files and subdirectories in a directory, you should add a slash to the end of the path. For example, /usr/</source>
        <translation>Чтобы проверять файлы и подкаталоги каталога, добавьте косую черту в конец пути. Например, /usr/</translation>
    </message>
    <message>
        <location filename="../widgets/digsigelementwidget.cpp" line="+152"/>
        <source>%1 holds bytes this editor cannot show as they are (not UTF-8, NUL, carriage returns or special spaces): it is read-only here and left unchanged when the settings are applied.</source>
        <translation>%1 содержит байты, которые этот редактор не может показать как есть (не UTF-8, нулевые байты, возвраты каретки или особые пробелы): здесь файл только для чтения и при применении настроек останется без изменений.</translation>
    </message>
    <message>
        <location line="+42"/>
        <source>Changed on disk since it was shown: %1. Applying these settings will be refused; press Refresh to see what the files hold now (your changes here are then lost).</source>
        <translation>Изменено на диске после показа: %1. Применение этих настроек будет отклонено; нажмите «Обновить», чтобы увидеть текущее содержимое файлов (ваши изменения здесь при этом будут потеряны).</translation>
    </message>
    <message>
        <location line="+10"/>
        <source>Reboot system</source>
        <translation>Перезагрузка системы</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>To apply settings need reboot system.
Reboot now?</source>
        <translation>Для применения настроек необходимо перезагрузить систему.
Перезагрузить сейчас?</translation>
    </message>
    <message>
        <location line="+23"/>
        <source>No mode is chosen for executable files and for extended attributes. Choose Off, Debug or On in each group before applying.</source>
        <translation>Не выбран режим ни для исполняемых файлов, ни для расширенных атрибутов. Перед применением выберите в каждой группе «Выключено», «Отладка» или «Включено».</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>No mode is chosen for executable files. Choose Off, Debug or On before applying.</source>
        <translation>Не выбран режим для исполняемых файлов. Перед применением выберите «Выключено», «Отладка» или «Включено».</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>No mode is chosen for extended attributes. Choose Off, Debug or On before applying.</source>
        <translation>Не выбран режим для расширенных атрибутов. Перед применением выберите «Выключено», «Отладка» или «Включено».</translation>
    </message>
    <message>
        <location line="+15"/>
        <source>Templates that name no file</source>
        <translation>Шаблоны, не указывающие ни на один файл</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>These lines of %1 are not absolute paths, so they name no file:

%2

Apply anyway?</source>
        <translation>Эти строки %1 не являются абсолютными путями и не указывают ни на один файл:

%2

Всё равно применить?</translation>
    </message>
    <message>
        <location line="+13"/>
        <location line="+40"/>
        <source>Warning</source>
        <translation>Предупреждение</translation>
    </message>
    <message>
        <location line="-39"/>
        <source>All unsigned files can not be started after reboot system.
It is advisable to first check the system in debug mode.
Are you sure want apply this settings?</source>
        <translation>После перезагрузки системы запуск неподписанных файлов будет невозможен.
Рекомендуется сначала проверить систему в режиме отладки.
Вы действительно хотите применить эти настройки?</translation>
    </message>
    <message>
        <location line="+40"/>
        <source>All unsigned files can not be started after reboot system.</source>
        <translation>После перезагрузки системы запуск неподписанных файлов будет невозможен.</translation>
    </message>
    <message>
        <location line="+10"/>
        <source>Listing the ELF files of the program folders…</source>
        <translation>Составление списка ELF-файлов в каталогах программ…</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Cancel</source>
        <translation>Отмена</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Check executables</source>
        <translation>Проверка исполняемых файлов</translation>
    </message>
    <message>
        <location line="+9"/>
        <source>%1 of %2 ELF files verified</source>
        <translation>Проверено ELF-файлов: %1 из %2</translation>
    </message>
    <message>
        <location line="+15"/>
        <source>The check of the executables was cancelled.</source>
        <translation>Проверка исполняемых файлов отменена.</translation>
    </message>
</context>
<context>
    <name>DigSigKeysElement</name>
    <message>
        <location filename="../plugin/digsigkeyselement.cpp" line="+12"/>
        <source>Keys</source>
        <translation>Ключи</translation>
    </message>
    <message>
        <location line="+12"/>
        <source>Keys settings</source>
        <translation>Настройки ключей</translation>
    </message>
</context>
<context>
    <name>DigSigModule</name>
    <message>
        <location filename="../plugin/digsigmodule.cpp" line="+22"/>
        <source>Digital signature management</source>
        <translation>Управление цифровой подписью</translation>
    </message>
</context>
<context>
    <name>DigSigPlugin</name>
    <message>
        <location filename="../plugin/digsigplugin.cpp" line="+12"/>
        <source>DigSigPlugin</source>
        <translation>DigSigPlugin</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Digital signature management</source>
        <translation>Управление цифровой подписью</translation>
    </message>
</context>
<context>
    <name>DigSigSigningElement</name>
    <message>
        <location filename="../plugin/digsigsigningelement.cpp" line="+12"/>
        <source>Signing signature</source>
        <translation>Подпись файлов</translation>
    </message>
    <message>
        <location line="+12"/>
        <source>Signing settings</source>
        <translation>Настройки подписи файлов</translation>
    </message>
</context>
<context>
    <name>KeyFileModel</name>
    <message>
        <location filename="../keys/keyfilemodel.cpp" line="+14"/>
        <source>never</source>
        <translation>никогда</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>expired %1</source>
        <translation>истёк %1</translation>
    </message>
    <message>
        <location line="+33"/>
        <source>User ID</source>
        <translation>ID пользователя</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Fingerprint</source>
        <translation>Отпечаток</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Algorithm</source>
        <translation>Алгоритм</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Expires</source>
        <translation>Срок действия</translation>
    </message>
    <message>
        <location line="+61"/>
        <source>Reading…</source>
        <translation>Чтение…</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>(no user id)</source>
        <translation>(нет идентификатора пользователя)</translation>
    </message>
    <message numerus="yes">
        <location line="+2"/>
        <source>%1 (and %n more keys)</source>
        <translation>
            <numerusform>%1 (и ещё %n ключ)</numerusform>
            <numerusform>%1 (и ещё %n ключа)</numerusform>
            <numerusform>%1 (и ещё %n ключей)</numerusform>
        </translation>
    </message>
    <message>
        <location line="+7"/>
        <location line="+14"/>
        <source>revoked</source>
        <translation>отозван</translation>
    </message>
    <message>
        <location line="-2"/>
        <source>%1
%2, %3, expires: %4</source>
        <translation>%1
%2, %3, срок действия: %4</translation>
    </message>
</context>
<context>
    <name>KeyFileReader</name>
    <message>
        <location filename="../keys/keyfilereader.cpp" line="+15"/>
        <source>unknown (%1)</source>
        <translation>неизвестный (%1)</translation>
    </message>
    <message>
        <location line="+34"/>
        <source>The file cannot be read: %1</source>
        <translation>Файл не удаётся прочитать: %1</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>The file is too large for a key file</source>
        <translation>Файл слишком велик для файла ключа</translation>
    </message>
    <message>
        <location line="+21"/>
        <source>The file holds no OpenPGP key</source>
        <translation>В файле нет ключа OpenPGP</translation>
    </message>
</context>
<context>
    <name>KeyGenerationFailure</name>
    <message>
        <location filename="../keys/keygenerationfailure.cpp" line="+53"/>
        <source>The pass phrase was not entered.
Create the key again and enter a pass phrase when GnuPG asks for it.</source>
        <translation>Парольная фраза не была введена.
Создайте ключ заново и введите парольную фразу, когда GnuPG её запросит.</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>The GnuPG installed on this computer cannot make GOST R 34.10-2012 keys.
Install GnuPG with GOST support from the system&apos;s repositories, then create the key again.</source>
        <translation>Установленный на этом компьютере GnuPG не умеет создавать ключи ГОСТ Р 34.10-2012.
Установите GnuPG с поддержкой ГОСТ из репозиториев системы и создайте ключ заново.</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>GnuPG could not ask for a pass phrase.
Check that gpg-agent and a pinentry program are installed, then create the key again.</source>
        <translation>GnuPG не смог запросить парольную фразу.
Проверьте, что установлены gpg-agent и программа pinentry, и создайте ключ заново.</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>GnuPG refused to generate the key.
Check the name, the e-mail address and the comment against GnuPG&apos;s message below, then try again.</source>
        <translation>GnuPG отказался создать ключ.
Сверьте имя, адрес электронной почты и комментарий с сообщением GnuPG ниже и попробуйте снова.</translation>
    </message>
    <message>
        <location line="+8"/>
        <source>GnuPG said:</source>
        <translation>Сообщение GnuPG:</translation>
    </message>
</context>
<context>
    <name>KeyManager</name>
    <message>
        <location filename="../keys/keymanager.cpp" line="+88"/>
        <source>(no user id)</source>
        <translation>(нет идентификатора пользователя)</translation>
    </message>
    <message>
        <location line="+35"/>
        <source>Parameters map does not contains required keys</source>
        <translation>Набор параметров не содержит обязательных полей</translation>
    </message>
    <message>
        <location line="+59"/>
        <source>Can&apos;t open file</source>
        <translation>Не удалось открыть файл</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>Incorrect file handle</source>
        <translation>Неверный дескриптор файла</translation>
    </message>
    <message>
        <location line="-27"/>
        <location line="+15"/>
        <source>No public key matches %1</source>
        <translation>Нет открытого ключа, соответствующего %1</translation>
    </message>
    <message>
        <location line="+31"/>
        <source>The file holds no key</source>
        <translation>Файл не содержит ключа</translation>
    </message>
</context>
<context>
    <name>KeysElementWidget</name>
    <message>
        <location filename="../widgets/keyselementwidget.ui" line="+14"/>
        <source>Keys</source>
        <translation>Ключи</translation>
    </message>
    <message>
        <location line="+8"/>
        <source>Create new key</source>
        <translation>Создать новый ключ</translation>
    </message>
    <message>
        <location line="+7"/>
        <source>Open key management utility</source>
        <translation>Открыть программу управления ключами</translation>
    </message>
    <message>
        <location filename="../widgets/keyselementwidget.cpp" line="+121"/>
        <source>The kgpg utility cannot be started</source>
        <translation>Не удаётся запустить программу kgpg</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>The key management utility kgpg could not be started. Check that it runs when started in a console: kgpg</source>
        <translation>Не удалось запустить программу управления ключами kgpg. Проверьте, что она запускается из консоли: kgpg</translation>
    </message>
    <message>
        <location line="+35"/>
        <source>The kgpg utility is not installed</source>
        <translation>Программа kgpg не установлена</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>To open key management utility run in the console</source>
        <translation>Чтобы открывать программу управления ключами, установите её, выполнив в консоли команду</translation>
    </message>
    <message>
        <location line="+10"/>
        <source>Can not initialize Gpgme library!</source>
        <translation>Не удалось инициализировать библиотеку Gpgme!</translation>
    </message>
    <message>
        <location line="+14"/>
        <source>Key export error</source>
        <translation>Ошибка экспорта ключа</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Can not export the public key into %1:</source>
        <translation>Не удалось экспортировать открытый ключ в %1:</translation>
    </message>
</context>
<context>
    <name>ProgressDisplay</name>
    <message>
        <location filename="../cli/progressdisplay.cpp" line="+18"/>
        <source>%1 of %2 files signed</source>
        <translation>Подписано файлов: %1 из %2</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>%1 of %2 files signed so far</source>
        <translation>Подписано файлов: %1 из %2 найденных пока</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>%1 of %2 files verified</source>
        <translation>Проверено файлов: %1 из %2</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>%1 of %2 files verified so far</source>
        <translation>Проверено файлов: %1 из %2 найденных пока</translation>
    </message>
    <message>
        <location line="+16"/>
        <source>%1 files to sign.</source>
        <translation>Файлов для подписи: %1.</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>%1 files to verify.</source>
        <translation>Файлов для проверки: %1.</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <location filename="../settings/digsigsettings.cpp" line="+230"/>
        <source>file %1 can not be opened</source>
        <translation>не удалось открыть файл %1</translation>
    </message>
    <message>
        <location filename="../settings/digsigconfigmanager.cpp" line="+152"/>
        <source>file %1 can not be saved</source>
        <translation>не удалось сохранить файл %1</translation>
    </message>
    <message>
        <location line="-15"/>
        <source>Line %1 exceeds the size limit.</source>
        <translation>Строка %1 превышает допустимую длину.</translation>
    </message>
    <message>
        <location line="-72"/>
        <source>%1 has changed on disk since it was read; nothing was saved. Press Refresh to see what it holds now, then make your changes again.</source>
        <translation>%1 изменился на диске после чтения; ничего не сохранено. Нажмите «Обновить», чтобы увидеть его текущее содержимое, и внесите изменения заново.</translation>
    </message>
    <message>
        <location line="+94"/>
        <source>Can&apos;t parse /etc/mtab</source>
        <translation>Не удалось разобрать /etc/mtab</translation>
    </message>
    <message>
        <location line="+46"/>
        <source>Process: &quot;%1 %2&quot;. Error: %3.
&quot;Not started&quot;</source>
        <translation>Процесс: &quot;%1 %2&quot;. Ошибка: %3.
&quot;Не запущен&quot;</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Process: &quot;%1 %2&quot; did not finish within %3 seconds and was stopped.</source>
        <translation>Процесс: &quot;%1 %2&quot; не завершился за %3 с и был остановлен.</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>Process: &quot;%1 %2&quot;. Error: %3.
&quot;Not finished&quot;</source>
        <translation>Процесс: &quot;%1 %2&quot;. Ошибка: %3.
&quot;Не завершён&quot;</translation>
    </message>
    <message>
        <location line="+14"/>
        <source>Process: &quot;%1 %2&quot; finished with errors:
%3
Exit code: %4</source>
        <translation>Процесс: &quot;%1 %2&quot; завершился с ошибками:
%3
Код завершения: %4</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>Process: &quot;%1 %2&quot; finished with errors:
%3</source>
        <translation>Процесс: &quot;%1 %2&quot; завершился с ошибками:
%3</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Process: &quot;%1 %2&quot; finished with warnings:
%3</source>
        <translation>Процесс: &quot;%1 %2&quot; завершился с предупреждениями:
%3</translation>
    </message>
    <message>
        <location filename="../settings/digsigreadtask.cpp" line="+14"/>
        <source>Read digital signature settings</source>
        <translation>Чтение настроек цифровой подписи</translation>
    </message>
    <message>
        <location filename="../settings/digsigsettings.cpp" line="-192"/>
        <source>DIGSIG_ELF_MODE value &quot;%1&quot; is invalid</source>
        <translation>Недопустимое значение DIGSIG_ELF_MODE: &quot;%1&quot;</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>DIGSIG_XATTR_MODE value &quot;%1&quot; is invalid</source>
        <translation>Недопустимое значение DIGSIG_XATTR_MODE: &quot;%1&quot;</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>DIGSIG_IGNORE_XATTR_KEYS value &quot;%1&quot; is invalid</source>
        <translation>Недопустимое значение DIGSIG_IGNORE_XATTR_KEYS: &quot;%1&quot;</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>DIGSIG_IGNORE_GOST2001 value &quot;%1&quot; is invalid</source>
        <translation>Недопустимое значение DIGSIG_IGNORE_GOST2001: &quot;%1&quot;</translation>
    </message>
    <message>
        <location line="+94"/>
        <source>file %1 is larger than %2 bytes, far larger than any settings file; it was not read.</source>
        <translation>файл %1 больше %2 байт, что намного больше любого файла настроек; он не был прочитан.</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>Can&apos;t open file %1</source>
        <translation>Не удалось открыть файл %1</translation>
    </message>
    <message>
        <location line="+18"/>
        <source>file %1 has invalid line: %2</source>
        <translation>файл %1 содержит недопустимую строку: %2</translation>
    </message>
    <message>
        <location line="+8"/>
        <source>file %1 contains invalid key: %2</source>
        <translation>файл %1 содержит недопустимый параметр: %2</translation>
    </message>
    <message>
        <location line="+8"/>
        <source>file %1 does not contain the required option %2</source>
        <translation>файл %1 не содержит обязательного параметра %2</translation>
    </message>
    <message>
        <location line="+10"/>
        <source>file %1 has %2 more problems that are not listed.</source>
        <translation>в файле %1 есть ещё ошибки, не вошедшие в список: %2.</translation>
    </message>
    <message>
        <location filename="../settings/digsigupdatetask.cpp" line="+16"/>
        <source>Update digital signature settings</source>
        <translation>Обновление настроек цифровой подписи</translation>
    </message>
    <message>
        <location line="+11"/>
        <source>No digital signature settings were given to save</source>
        <translation>Не переданы настройки цифровой подписи для сохранения</translation>
    </message>
    <message>
        <location filename="../settings/initramfsrebuild.cpp" line="+26"/>
        <source>Can&apos;t remount /boot read write</source>
        <translation>Не удалось перемонтировать /boot для чтения и записи</translation>
    </message>
    <message>
        <location filename="../settings/updateinitramfstask.cpp" line="+10"/>
        <source>Update initramfs</source>
        <translation>Обновление initramfs</translation>
    </message>
    <message>
        <location filename="../keys/analizpinentrytask.cpp" line="+16"/>
        <source>Read program pinentry state</source>
        <translation>Чтение состояния программы pinentry</translation>
    </message>
    <message>
        <location line="+15"/>
        <source>A signing run did not end; gpg-agent&apos;s pinentry and cache times were put back as they were before it.</source>
        <translation>Подписывание не было завершено; время ожидания pinentry и кэширования gpg-agent возвращено к значениям, действовавшим до него.</translation>
    </message>
    <message>
        <location filename="../keys/importquillkeystask.cpp" line="+23"/>
        <source>Read quill keys import state</source>
        <translation>Чтение состояния импорта ключей quill</translation>
    </message>
    <message>
        <location line="+31"/>
        <source>Can not initialize key manager for import quill keys</source>
        <translation>Не удалось инициализировать менеджер ключей для импорта ключей quill</translation>
    </message>
    <message>
        <location filename="../keys/gpgagentconfig.cpp" line="+100"/>
        <location line="+179"/>
        <source>Can not open file %1</source>
        <translation>Не удалось открыть файл %1</translation>
    </message>
    <message>
        <location line="-170"/>
        <location line="+150"/>
        <source>Can not save file %1</source>
        <translation>Не удалось сохранить файл %1</translation>
    </message>
    <message>
        <location filename="../settings/initramfsrebuild.cpp" line="+47"/>
        <location filename="../keys/gpgagentconfig.cpp" line="-142"/>
        <location line="+85"/>
        <source>Can not create dir %1</source>
        <translation>Не удалось создать каталог %1</translation>
    </message>
    <message>
        <location filename="../keys/gpgagentconfig.cpp" line="+3"/>
        <source>Can not set permissions for %1</source>
        <translation>Не удалось установить права доступа для %1</translation>
    </message>
    <message>
        <location line="+11"/>
        <source>gpg-agent did not answer within %1 seconds; it keeps its old settings until it is restarted.</source>
        <translation>gpg-agent не ответил за %1 с; он сохранит прежние настройки до перезапуска.</translation>
    </message>
    <message>
        <location line="+8"/>
        <source>Can not reload gpg-agent</source>
        <translation>Не удалось перезагрузить gpg-agent</translation>
    </message>
    <message>
        <location line="+60"/>
        <source>Can not remove file %1</source>
        <translation>Не удалось удалить файл %1</translation>
    </message>
    <message>
        <location filename="../core/digsigconstants.cpp" line="+66"/>
        <source>(truncated)</source>
        <translation>(обрезано)</translation>
    </message>
    <message>
        <location filename="../settings/initramfsrebuildlock.cpp" line="+44"/>
        <source>Can not lock %1 for the rebuild of the initial RAM file system: %2</source>
        <translation>Не удалось заблокировать %1 для пересборки initramfs: %2</translation>
    </message>
</context>
<context>
    <name>SelectKeyDialog</name>
    <message>
        <location filename="../signing/selectkeydialog.ui" line="+14"/>
        <source>Key selection</source>
        <translation>Выбор ключа</translation>
    </message>
    <message>
        <location line="+12"/>
        <source>Select &amp;key:</source>
        <translation>Выберите &amp;ключ:</translation>
    </message>
    <message>
        <location line="+17"/>
        <source>&amp;Create new key</source>
        <translation>&amp;Создать новый ключ</translation>
    </message>
    <message>
        <location line="+7"/>
        <source>&amp;Open key management utility</source>
        <translation>&amp;Открыть программу управления ключами</translation>
    </message>
    <message>
        <location line="+85"/>
        <source>&amp;Save log to /var/log/kiro-admin-digsig.log</source>
        <translation>Со&amp;хранить журнал в /var/log/kiro-admin-digsig.log</translation>
    </message>
    <message>
        <location line="-25"/>
        <source>&lt;!DOCTYPE HTML PUBLIC &quot;-//W3C//DTD HTML 4.0//EN&quot; &quot;http://www.w3.org/TR/REC-html40/strict.dtd&quot;&gt;
&lt;html&gt;&lt;head&gt;&lt;meta name=&quot;qrichtext&quot; content=&quot;1&quot; /&gt;&lt;style type=&quot;text/css&quot;&gt;
p, li { white-space: pre-wrap; }
&lt;/style&gt;&lt;/head&gt;&lt;body style=&quot; font-family:&apos;Verdana&apos;; font-size:10pt; font-weight:400; font-style:normal;&quot;&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;Warning!&lt;/p&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;To sign an executable files, you should select a key, which is signed by the Orvane key. Also you can select a key, which is signed along the chain by other keys, where the first key is signed by the Orvane key. In this case, you should create a hierarchy of directories with keys in /etc/digsig/keys and correctly place the selected key in it by yourself.&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;!DOCTYPE HTML PUBLIC &quot;-//W3C//DTD HTML 4.0//EN&quot; &quot;http://www.w3.org/TR/REC-html40/strict.dtd&quot;&gt;
&lt;html&gt;&lt;head&gt;&lt;meta name=&quot;qrichtext&quot; content=&quot;1&quot; /&gt;&lt;style type=&quot;text/css&quot;&gt;
p, li { white-space: pre-wrap; }
&lt;/style&gt;&lt;/head&gt;&lt;body style=&quot; font-family:&apos;Verdana&apos;; font-size:10pt; font-weight:400; font-style:normal;&quot;&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;Внимание!&lt;/p&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;Для подписи исполняемых файлов следует выбрать ключ, подписанный ключом Orvane. Также можно выбрать ключ, подписанный по цепочке другими ключами, первый из которых подписан ключом Orvane. В этом случае необходимо самостоятельно создать иерархию каталогов с ключами в /etc/digsig/keys и правильно разместить в ней выбранный ключ.&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
</context>
<context>
    <name>SetCommand</name>
    <message>
        <location filename="../cli/setcommand.cpp" line="+49"/>
        <source>Change the verification modes and flags, then rebuild the initial RAM file system.</source>
        <translation>Изменить режимы и флаги проверки, затем пересобрать начальную файловую систему в ОЗУ.</translation>
    </message>
    <message>
        <location line="+7"/>
        <source>Options not given keep their values. Asking for what is already set changes nothing and says so. Before ELF verification is switched to On, the ELF files in the folders that hold programs and libraries (%1) are verified; when some lack a good signature, nothing is written, the first of them are listed and the exit status is 1, unless --force is given.</source>
        <translation>Незаданные параметры сохраняют свои значения. Запрос уже установленного ничего не меняет и сообщает об этом. Перед включением проверки ELF проверяются ELF-файлы в каталогах программ и библиотек (%1); если у некоторых нет верной подписи, ничего не записывается, первые из них перечисляются и код завершения равен 1, если не задан --force.</translation>
    </message>
    <message>
        <location line="+11"/>
        <source>Verification of ELF files: off, debug or on.</source>
        <translation>Проверка ELF-файлов: off, debug или on.</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Verification through extended attributes: off, debug or on.</source>
        <translation>Проверка по расширенным атрибутам: off, debug или on.</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Ignore the keys of extended-attribute signatures: yes or no.</source>
        <translation>Игнорировать ключи подписей в расширенных атрибутах: yes или no.</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Ignore GOST R 34.10-2001 keys: yes or no.</source>
        <translation>Игнорировать ключи ГОСТ Р 34.10-2001: yes или no.</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Check the ELF files under PATH before switching ELF verification to On, instead of those in the program folders; may be repeated.</source>
        <translation>Перед включением проверки ELF проверить ELF-файлы в ПУТИ вместо каталогов программ; можно повторять.</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Switch ELF verification to On without the check.</source>
        <translation>Включить проверку ELF без предварительной проверки.</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Write the settings without rebuilding the initial RAM file system; the next change without this option rebuilds it.</source>
        <translation>Записать настройки без пересборки начальной файловой системы в ОЗУ; её пересоберёт следующее изменение без этого параметра.</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Print one JSON object.</source>
        <translation>Вывести один объект JSON.</translation>
    </message>
    <message>
        <location line="+15"/>
        <source>--%1 takes off, debug or on, not &quot;%2&quot;.</source>
        <translation>--%1 принимает off, debug или on, а не «%2».</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>--%1 takes yes or no, not &quot;%2&quot;.</source>
        <translation>--%1 принимает yes или no, а не «%2».</translation>
    </message>
    <message>
        <location line="+7"/>
        <source>Nothing to set: give --elf, --xattr, --ignore-xattr-keys or --ignore-gost2001.</source>
        <translation>Нечего устанавливать: задайте --elf, --xattr, --ignore-xattr-keys или --ignore-gost2001.</translation>
    </message>
    <message>
        <location line="+15"/>
        <source>The check of the executables was cancelled; nothing was written.</source>
        <translation>Проверка исполняемых файлов отменена; ничего не записано.</translation>
    </message>
    <message>
        <location line="+9"/>
        <source>Nothing was written; add --force to switch ELF verification to On anyway.</source>
        <translation>Ничего не записано; добавьте --force, чтобы всё равно включить проверку ELF.</translation>
    </message>
    <message>
        <location line="+33"/>
        <source>&quot;set&quot; takes options only, not &quot;%1&quot;.</source>
        <translation>«set» принимает только параметры, а не «%1».</translation>
    </message>
    <message>
        <location line="+12"/>
        <source>%1 cannot be read; nothing was written.</source>
        <translation>Не удаётся прочитать %1; ничего не записано.</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>%1 holds no valid %2; give --%3 to write one.</source>
        <translation>В %1 нет верного значения %2; задайте --%3, чтобы записать его.</translation>
    </message>
    <message>
        <location line="+51"/>
        <source>ELF verification</source>
        <translation>Проверка ELF</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>Extended-attribute verification</source>
        <translation>Проверка по расширенным атрибутам</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Ignore extended-attribute keys</source>
        <translation>Игнорировать ключи расширенных атрибутов</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Ignore GOST R 34.10-2001 keys</source>
        <translation>Игнорировать ключи ГОСТ Р 34.10-2001</translation>
    </message>
    <message>
        <location line="+14"/>
        <source>The settings already are as asked; %1 was left as it is.</source>
        <translation>Настройки уже такие, как запрошено; %1 оставлен без изменений.</translation>
    </message>
</context>
<context>
    <name>SettingsValues</name>
    <message>
        <location filename="../cli/settingsvalues.cpp" line="+46"/>
        <source>Off</source>
        <translation>Выключено</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Debug</source>
        <translation>Отладка</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>On</source>
        <translation>Включено</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>not set</source>
        <translation>не задано</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>yes</source>
        <translation>да</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>no</source>
        <translation>нет</translation>
    </message>
</context>
<context>
    <name>SettingsWriter</name>
    <message>
        <location filename="../cli/settingswriter.cpp" line="+22"/>
        <source>%1 has changed since it was read; nothing was written. Run the command again to apply it to what the file holds now.</source>
        <translation>%1 изменился после чтения; ничего не записано. Запустите команду снова, чтобы применить её к нынешнему содержимому файла.</translation>
    </message>
    <message>
        <location line="+39"/>
        <source>Another rebuild of the initial RAM file system is running; waiting for it to end.</source>
        <translation>Идёт другая пересборка начальной файловой системы в ОЗУ; ожидание её завершения.</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>The initial RAM file system was not rebuilt; the settings take effect only after a rebuild and a reboot:</source>
        <translation>Начальная файловая система в ОЗУ не пересобрана; настройки вступят в силу только после пересборки и перезагрузки:</translation>
    </message>
    <message>
        <location line="+22"/>
        <source>The initial RAM file system was rebuilt; reboot for the settings to take effect.</source>
        <translation>Начальная файловая система в ОЗУ пересобрана; перезагрузитесь, чтобы настройки вступили в силу.</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>The initial RAM file system was not rebuilt; the settings take effect after a rebuild (the next change without --no-rebuild does it) and a reboot.</source>
        <translation>Начальная файловая система в ОЗУ не пересобрана; настройки вступят в силу после пересборки (её выполнит следующее изменение без --no-rebuild) и перезагрузки.</translation>
    </message>
</context>
<context>
    <name>ShortList</name>
    <message numerus="yes">
        <location filename="../widgets/shortlist.cpp" line="+12"/>
        <source>and %n more</source>
        <translation>
            <numerusform>и ещё %n</numerusform>
            <numerusform>и ещё %n</numerusform>
            <numerusform>и ещё %n</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>SignCommand</name>
    <message>
        <location filename="../cli/signcommand.cpp" line="+64"/>
        <source>Sign every file under the paths with a key, several at once, and make the signatures count.</source>
        <translation>Подписать ключом все файлы по путям, по нескольку одновременно, и ввести подписи в действие.</translation>
    </message>
    <message>
        <location line="+7"/>
        <source>The first failure stops the run unless --keep-going is given. A run that signed every file exports the public key into the key folder of the mode and, for extended attributes, adds the paths to the control file; when that changed it and extended-attribute verification is on, the initial RAM file system is rebuilt. Paths outside the trusted system folders are refused for extended attributes unless --force is given. gpg-agent&apos;s times are raised for the run, so that the pass phrase is asked for once, and restored afterwards. The log goes to standard output and ends with a summary line; the progress goes to standard error. Exits with 1 when a file was not found, failed, was skipped or was not started.</source>
        <translation>Первая ошибка останавливает подпись, если не задан --keep-going. Подпись, подписавшая все файлы, экспортирует открытый ключ в каталог ключей режима и, для расширенных атрибутов, добавляет пути в файл контроля; если он изменился и проверка по расширенным атрибутам включена, начальная файловая система в ОЗУ пересобирается. Пути вне доверенных системных каталогов для расширенных атрибутов отклоняются, если не задан --force. Времена gpg-agent на время подписи увеличиваются, чтобы парольная фраза запрашивалась один раз, и затем восстанавливаются. Журнал выводится в стандартный вывод и заканчивается итоговой строкой; ход работы — в стандартный поток ошибок. Код завершения 1, если файл не найден, не подписан из-за ошибки, пропущен или не начат.</translation>
    </message>
    <message>
        <location line="+13"/>
        <source>Files and folders to sign.</source>
        <translation>Файлы и каталоги для подписи.</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>The signing key: its fingerprint, or the end of it (a key ID).</source>
        <translation>Ключ подписи: его отпечаток или его конец (идентификатор ключа).</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>elf: ELF signatures of the ELF files; xattr: extended-attribute signatures of every file; both (the default): both.</source>
        <translation>elf: подписи ELF для ELF-файлов; xattr: подписи в расширенных атрибутах для всех файлов; both (по умолчанию): обе.</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Sign at most N files at once (default: the processor count).</source>
        <translation>Подписывать не более N файлов одновременно (по умолчанию — число процессоров).</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Sign every file even after a failure; the run still fails.</source>
        <translation>Подписывать все файлы даже после ошибки; подпись всё равно завершится неудачей.</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Also write the log to FILE, emptied first.</source>
        <translation>Также записать журнал в ФАЙЛ, предварительно очистив его.</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Sign paths outside the trusted system folders for extended attributes too.</source>
        <translation>Подписывать расширенными атрибутами и пути вне доверенных системных каталогов.</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Leave the rebuild of the initial RAM file system to the next change without this option.</source>
        <translation>Оставить пересборку начальной файловой системы в ОЗУ следующему изменению без этого параметра.</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Print one JSON object at the end instead of the log.</source>
        <translation>Вывести в конце один объект JSON вместо журнала.</translation>
    </message>
    <message>
        <location line="+13"/>
        <source>--key takes a fingerprint or a key ID (8 to 40 hexadecimal digits), not &quot;%1&quot;.</source>
        <translation>--key принимает отпечаток или идентификатор ключа (от 8 до 40 шестнадцатеричных цифр), а не «%1».</translation>
    </message>
    <message>
        <location line="+10"/>
        <source>No usable signing key matches %1; &quot;gpg --list-secret-keys&quot; lists the keys GnuPG has.</source>
        <translation>Ни один пригодный ключ подписи не соответствует %1; «gpg --list-secret-keys» покажет ключи GnuPG.</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>%1 matches several signing keys: %2; give more of the fingerprint.</source>
        <translation>%1 соответствует нескольким ключам подписи: %2; укажите отпечаток подробнее.</translation>
    </message>
    <message>
        <location line="+15"/>
        <source>&quot;sign&quot; needs --key ID.</source>
        <translation>«sign» требует --key ИДЕНТИФИКАТОР.</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>&quot;sign&quot; needs at least one PATH.</source>
        <translation>«sign» требует хотя бы один ПУТЬ.</translation>
    </message>
    <message>
        <location line="+11"/>
        <source>outside the trusted system folders: %1</source>
        <translation>вне доверенных системных каталогов: %1</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Under extended-attribute verification, files outside the trusted system folders can keep the system from booting; add --force to sign them anyway.</source>
        <translation>При проверке по расширенным атрибутам файлы вне доверенных системных каталогов могут помешать загрузке системы; добавьте --force, чтобы всё равно подписать их.</translation>
    </message>
    <message>
        <location line="+10"/>
        <source>GnuPG Made Easy could not be initialised.</source>
        <translation>Не удалось инициализировать GnuPG Made Easy.</translation>
    </message>
    <message>
        <location line="+28"/>
        <source>Interrupted: no more files are started; the files being signed are given a moment to end.</source>
        <translation>Прервано: новые файлы не начинаются; подписываемым файлам даётся время завершиться.</translation>
    </message>
</context>
<context>
    <name>SignFileModel</name>
    <message>
        <location filename="../signing/signfilemodel.cpp" line="+41"/>
        <source>Signature</source>
        <translation>Подпись</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Externed signature</source>
        <translation>Подпись в расширенных атрибутах</translation>
    </message>
</context>
<context>
    <name>SignatureAudit</name>
    <message>
        <location filename="../signing/signatureaudit.cpp" line="+142"/>
        <source>ELF files checked: %1, all with a good signature.</source>
        <translation>Проверено ELF-файлов: %1, у всех верная подпись.</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>ELF files without a good signature: %1 of %2; under ELF verification On they would not run:</source>
        <translation>ELF-файлов без верной подписи: %1 из %2; при включённой проверке ELF они не запустятся:</translation>
    </message>
    <message>
        <location line="+7"/>
        <source>(and %1 more)</source>
        <translation>(и ещё %1)</translation>
    </message>
    <message>
        <location line="+25"/>
        <source>its name cannot be represented</source>
        <translation>его имя невозможно представить</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>it does not exist</source>
        <translation>он не существует</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>it cannot be read: %1</source>
        <translation>его не удаётся прочитать: %1</translation>
    </message>
</context>
<context>
    <name>SignatureDelegate</name>
    <message>
        <location filename="../signing/signaturedelegate.cpp" line="+21"/>
        <source>Whether the file carries a good signature embedded in the executable (ELF) file itself.</source>
        <translation>Есть ли у файла верная подпись, встроенная в сам исполняемый (ELF) файл.</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Whether the file carries a good signature in its extended attributes.</source>
        <translation>Есть ли у файла верная подпись в его расширенных атрибутах.</translation>
    </message>
    <message>
        <location line="+13"/>
        <source>Signed</source>
        <translation>Подписан</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Not signed</source>
        <translation>Не подписан</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Checking…</source>
        <translation>Проверка…</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>%1
The file could not be checked: %2</source>
        <translation>%1
Файл не удалось проверить: %2</translation>
    </message>
</context>
<context>
    <name>SignatureVerifier</name>
    <message>
        <location filename="../signing/signatureverifier.cpp" line="+76"/>
        <source>The signing tool &quot;%1&quot; could not be started: %2</source>
        <translation>Не удалось запустить программу подписи «%1»: %2</translation>
    </message>
    <message>
        <location line="+12"/>
        <source>The signing tool reported: %1</source>
        <translation>Программа подписи сообщила: %1</translation>
    </message>
</context>
<context>
    <name>SigningDialog</name>
    <message>
        <location filename="../signing/signingdialog.ui" line="+14"/>
        <source>Signing progress</source>
        <translation>Ход подписывания</translation>
    </message>
    <message>
        <location line="+8"/>
        <source>Signing &amp;progress:</source>
        <translation>&amp;Ход подписывания:</translation>
    </message>
    <message>
        <location filename="../signing/signingdialog.cpp" line="+69"/>
        <source>Cancelling...</source>
        <translation>Отмена...</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>Cancelled.</source>
        <translation>Отменено.</translation>
    </message>
    <message>
        <location line="+16"/>
        <source>%v of %m</source>
        <translation>%v из %m</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>%v of %m so far</source>
        <translation>%v из %m (поиск продолжается)</translation>
    </message>
</context>
<context>
    <name>SigningElementWidget</name>
    <message>
        <location filename="../widgets/signingelementwidget.ui" line="+14"/>
        <source>Signing</source>
        <translation>Подпись</translation>
    </message>
    <message>
        <location line="+19"/>
        <source>Sign executable files</source>
        <translation>Подписывать исполняемые файлы</translation>
    </message>
    <message>
        <location line="+16"/>
        <source>Sign files in extended attributes</source>
        <translation>Подписывать файлы в расширенных атрибутах</translation>
    </message>
    <message>
        <location line="+19"/>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;For sing select required files and at least one signature mode&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;Для подписи выберите нужные файлы и хотя бы один режим подписи&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Sign</source>
        <translation>Подписать</translation>
    </message>
    <message>
        <location filename="../widgets/signingelementwidget.cpp" line="+112"/>
        <source>Can not initialize Gpgme library!</source>
        <translation>Не удалось инициализировать библиотеку Gpgme!</translation>
    </message>
    <message>
        <location line="+43"/>
        <source>Selection confirmation</source>
        <translation>Подтверждение выбора</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Warning! You have selected unsafe directories for signing. After enabling extended attributes signature verification, this can lead to the inablility of booting the system, the inability to change the settings (disable) of the DigSig module and other unpredictable consequences.
Do you want to continue?</source>
        <translation>Внимание! Для подписи выбраны небезопасные каталоги. После включения проверки подписи в расширенных атрибутах это может привести к невозможности загрузки системы, невозможности изменить настройки модуля DigSig (отключить его) и другим непредсказуемым последствиям.
Продолжить?</translation>
    </message>
    <message>
        <location line="+7"/>
        <source>Outside the trusted system directories:
%1</source>
        <translation>Вне доверенных системных каталогов:
%1</translation>
    </message>
    <message>
        <location line="+11"/>
        <source>Add files for verification</source>
        <translation>Добавление файлов для проверки</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Digsig was enabled in the extended attributes signature verification mode. Files that was signed after that will not be automatically verified after reboot. Do you want to add signed files for verification after reboot?</source>
        <translation>Digsig включён в режиме проверки подписи в расширенных атрибутах. Файлы, подписанные после его включения, не будут автоматически проверяться после перезагрузки. Добавить подписанные файлы для проверки после перезагрузки?</translation>
    </message>
</context>
<context>
    <name>SigningRun</name>
    <message>
        <location filename="../signing/signingrun.cpp" line="+77"/>
        <source>Cancelling...</source>
        <translation>Отмена...</translation>
    </message>
    <message>
        <location line="+20"/>
        <source>Create a list of files to sign...</source>
        <translation>Составление списка файлов для подписи...</translation>
    </message>
    <message>
        <location line="+37"/>
        <source>The run did not finish: the public key was not exported.</source>
        <translation>Подписывание не завершено: открытый ключ не экспортирован.</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>The run did not finish: the control file was not updated.</source>
        <translation>Подписывание не завершено: управляющий файл не обновлён.</translation>
    </message>
    <message>
        <location line="-30"/>
        <source>Finished.</source>
        <translation>Готово.</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Cancelled.</source>
        <translation>Отменено.</translation>
    </message>
    <message>
        <location line="+43"/>
        <source>No files to sign.</source>
        <translation>Нет файлов для подписи.</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>Signing completed.</source>
        <translation>Подписывание завершено.</translation>
    </message>
    <message>
        <location line="+93"/>
        <source>Process error occurred when sigsing file %1: %2</source>
        <translation>Ошибка процесса при подписи файла %1: %2</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>The signing tool &quot;%1&quot; could not be started: %2. Check that it is installed and that its folder is in the search path (PATH).</source>
        <translation>Не удалось запустить программу подписи «%1»: %2. Проверьте, что она установлена и что её каталог указан в пути поиска (PATH).</translation>
    </message>
    <message>
        <location line="+8"/>
        <source>Warning: signing of %1 was ended by Cancel.</source>
        <translation>Предупреждение: подписывание %1 прервано отменой.</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>%1 signed successfully</source>
        <translation>%1 успешно подписан</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Warning: file %1 not found</source>
        <translation>Предупреждение: файл %1 не найден</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>%1 signing error: %2</source>
        <translation>Ошибка подписи %1: %2</translation>
    </message>
    <message>
        <location line="+13"/>
        <location line="+122"/>
        <source>Warning: skipping %1, its name cannot be represented.</source>
        <translation>Предупреждение: %1 пропущен, его имя невозможно представить.</translation>
    </message>
    <message>
        <location line="-119"/>
        <source>Warning: skipping %1, it does not exist.</source>
        <translation>Предупреждение: %1 пропущен, он не существует.</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Warning: skipping %1, it cannot be read: %2</source>
        <translation>Предупреждение: %1 пропущен, его не удалось прочитать: %2</translation>
    </message>
    <message>
        <location line="+13"/>
        <source>Warning: skipping %1, it vanished after it was listed.</source>
        <translation>Предупреждение: %1 пропущен, он исчез после составления списка.</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>Warning: skipping %1, it became a symbolic link after it was listed.</source>
        <translation>Предупреждение: %1 пропущен, после составления списка он стал символической ссылкой.</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Warning: skipping %1, a folder on its path was replaced after it was listed.</source>
        <translation>Предупреждение: %1 пропущен, каталог на его пути был заменён после составления списка.</translation>
    </message>
    <message>
        <location line="+54"/>
        <location line="+12"/>
        <source>Can not export key with ID %1 to %2</source>
        <translation>Не удалось экспортировать ключ с идентификатором %1 в %2</translation>
    </message>
    <message>
        <location line="-6"/>
        <source>Key with ID %1 successfully exported to %2</source>
        <translation>Ключ с идентификатором %1 успешно экспортирован в %2</translation>
    </message>
    <message>
        <location line="+21"/>
        <source>Writing selected directories and files to %1</source>
        <translation>Запись выбранных каталогов и файлов в %1</translation>
    </message>
    <message>
        <location line="+3"/>
        <location line="+124"/>
        <source>Can not open %1</source>
        <translation>Не удалось открыть %1</translation>
    </message>
    <message>
        <location line="-117"/>
        <source>Warning: skipping %1, file path contains a line break.</source>
        <translation>Предупреждение: %1 пропущен, путь к файлу содержит перевод строки.</translation>
    </message>
    <message>
        <location line="+15"/>
        <source>Warning: skipping %1, file path exceeds the size limit.</source>
        <translation>Предупреждение: %1 пропущен, путь к файлу превышает допустимую длину.</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>file %1 can not be saved</source>
        <translation>не удалось сохранить файл %1</translation>
    </message>
    <message>
        <location line="+13"/>
        <source>Can not set gpg-agent options:</source>
        <translation>Не удалось задать параметры gpg-agent:</translation>
    </message>
    <message>
        <location line="+11"/>
        <source>Can not set default gpg-agent options:</source>
        <translation>Не удалось восстановить параметры gpg-agent по умолчанию:</translation>
    </message>
    <message>
        <location line="+89"/>
        <source>Can not write %1: %2</source>
        <translation>Не удалось записать %1: %2</translation>
    </message>
</context>
<context>
    <name>SigningSummary</name>
    <message>
        <location filename="../signing/signingsummary.cpp" line="+5"/>
        <source>Summary: %1 signed, %2 not found, %3 failed, %4 skipped, %5 not started.</source>
        <translation>Итог: подписано %1, не найдено %2, ошибок %3, пропущено %4, не начато %5.</translation>
    </message>
</context>
<context>
    <name>StatusCommand</name>
    <message>
        <location filename="../cli/statuscommand.cpp" line="+117"/>
        <source>Show the verification modes, the control file, the trusted keys and the state of /boot, of the rebuild and of gpg-agent.</source>
        <translation>Показать режимы проверки, файл контроля, доверенные ключи и состояние /boot, пересборки и gpg-agent.</translation>
    </message>
    <message>
        <location line="+7"/>
        <source>Exits with 3 when the settings or the mount table could not be read without problems; the messages say which.</source>
        <translation>Код завершения 3, если настройки или таблицу монтирования не удалось прочитать без ошибок; сообщения уточняют, что именно.</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>Print one JSON object.</source>
        <translation>Вывести один объект JSON.</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>&quot;status&quot; takes no arguments.</source>
        <translation>«status» не принимает аргументов.</translation>
    </message>
    <message>
        <location line="+9"/>
        <source>ELF verification: %1</source>
        <translation>Проверка ELF: %1</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Extended-attribute verification: %1</source>
        <translation>Проверка по расширенным атрибутам: %1</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Ignore extended-attribute keys: %1</source>
        <translation>Игнорировать ключи расширенных атрибутов: %1</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Ignore GOST R 34.10-2001 keys: %1</source>
        <translation>Игнорировать ключи ГОСТ Р 34.10-2001: %1</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>/boot mounted read-only: %1</source>
        <translation>/boot смонтирован только для чтения: %1</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>unknown</source>
        <translation>неизвестно</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Rebuild of the initial RAM file system pending: %1</source>
        <translation>Ожидается пересборка начальной файловой системы в ОЗУ: %1</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>gpg-agent times raised by a signing run: %1</source>
        <translation>Времена gpg-agent увеличены подписью: %1</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Entries of the control file %1: %2</source>
        <translation>Записи файла контроля %1: %2</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Trusted key files: %1</source>
        <translation>Файлы доверенных ключей: %1</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>ELF signatures</source>
        <translation>подписи ELF</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>extended-attribute signatures</source>
        <translation>подписи в расширенных атрибутах</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>  %1 (%2): %3</source>
        <translation>  %1 (%2): %3</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>  %1 (%2): %3, %4</source>
        <translation>  %1 (%2): %3, %4</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Messages: %1</source>
        <translation>Сообщения: %1</translation>
    </message>
</context>
<context>
    <name>ToolProcess</name>
    <message>
        <location filename="../signing/toolprocess.cpp" line="+160"/>
        <location line="+45"/>
        <source>the run was stopped before the tool started</source>
        <translation>работа остановлена до запуска программы</translation>
    </message>
    <message numerus="yes">
        <location line="+98"/>
        <source>the tool did not end within %n seconds</source>
        <translation>
            <numerusform>программа не завершилась за %n секунду</numerusform>
            <numerusform>программа не завершилась за %n секунды</numerusform>
            <numerusform>программа не завершилась за %n секунд</numerusform>
        </translation>
    </message>
    <message>
        <location line="+2"/>
        <source>the tool crashed</source>
        <translation>программа аварийно завершилась</translation>
    </message>
</context>
<context>
    <name>VerifyCommand</name>
    <message>
        <location filename="../cli/verifycommand.cpp" line="+34"/>
        <source>Verify the signatures of every file under the paths, several at once.</source>
        <translation>Проверить подписи всех файлов по путям, по нескольку одновременно.</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>Each file gets its ELF and its extended-attribute state. A file counts as signed when it has a good signature of the kind the mode names; with both, of either kind. Exits with 1 when a file is unsigned, could not be verified or could not be listed.</source>
        <translation>Для каждого файла выводится состояние подписи ELF и подписи в расширенных атрибутах. Файл считается подписанным, если у него есть верная подпись того вида, который задан режимом; при both — любого вида. Код завершения 1, если файл не подписан, не проверен или не попал в список.</translation>
    </message>
    <message>
        <location line="+8"/>
        <source>Files and folders to verify.</source>
        <translation>Файлы и каталоги для проверки.</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>elf: the ELF files, for their ELF signatures; xattr: every file, for its extended-attribute signature; both (the default): every file, for either.</source>
        <translation>elf: ELF-файлы, на подпись ELF; xattr: все файлы, на подпись в расширенных атрибутах; both (по умолчанию): все файлы, на любую из них.</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>List only the files without a good signature.</source>
        <translation>Показать только файлы без верной подписи.</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Verify at most N files at once (default: the processor count).</source>
        <translation>Проверять не более N файлов одновременно (по умолчанию — число процессоров).</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Print one JSON object.</source>
        <translation>Вывести один объект JSON.</translation>
    </message>
    <message>
        <location line="+12"/>
        <source>&quot;verify&quot; needs at least one PATH.</source>
        <translation>«verify» требует хотя бы один ПУТЬ.</translation>
    </message>
    <message>
        <location line="+19"/>
        <source>skipping %1: %2</source>
        <translation>пропуск %1: %2</translation>
    </message>
    <message>
        <location line="+32"/>
        <source>good</source>
        <translation>верна</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>none</source>
        <translation>нет</translation>
    </message>
    <message>
        <location line="+7"/>
        <source>%1: ELF signature %2, extended-attribute signature %3</source>
        <translation>%1: подпись ELF — %2, подпись в расширенных атрибутах — %3</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>%1: not verified: %2</source>
        <translation>%1: не проверен: %2</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Summary: %1 files verified, %2 signed, %3 unsigned, %4 not verified, %5 skipped.</source>
        <translation>Итог: проверено файлов — %1, подписано — %2, не подписано — %3, не проверено — %4, пропущено — %5.</translation>
    </message>
    <message>
        <location line="+9"/>
        <source>The verification was cancelled; not every file was verified.</source>
        <translation>Проверка отменена; проверены не все файлы.</translation>
    </message>
</context>
</TS>
