<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ru_RU">
<context>
    <name>ConsoleWindow</name>
    <message>
        <location filename="../console/consolewindow.cpp" line="+88"/>
        <source>Administration console</source>
        <translation>Консоль администрирования</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>&amp;Edit</source>
        <translation>&amp;Изменить</translation>
    </message>
    <message>
        <location line="+3"/>
        <location line="+251"/>
        <source>&amp;Apply</source>
        <translation>&amp;Применить</translation>
    </message>
    <message>
        <location line="-249"/>
        <location line="+251"/>
        <source>&amp;Cancel</source>
        <translation>О&amp;тмена</translation>
    </message>
    <message>
        <location line="-249"/>
        <source>&amp;Refresh</source>
        <translation>О&amp;бновить</translation>
    </message>
    <message>
        <location line="+8"/>
        <source>E&amp;lement</source>
        <translation>&amp;Элемент</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Element</source>
        <translation>Элемент</translation>
    </message>
    <message>
        <location line="+59"/>
        <source>Tasks</source>
        <translation>Задачи</translation>
    </message>
    <message numerus="yes">
        <location line="+86"/>
        <source>%n plug-in(s) could not be loaded</source>
        <translation>
            <numerusform>Не удалось загрузить %n подключаемый модуль</numerusform>
            <numerusform>Не удалось загрузить %n подключаемых модуля</numerusform>
            <numerusform>Не удалось загрузить %n подключаемых модулей</numerusform>
        </translation>
    </message>
    <message>
        <location line="+86"/>
        <source>Changes not applied</source>
        <translation>Изменения не применены</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>The settings of &quot;%1&quot; have been changed.
Do you want to apply the changes or discard them?</source>
        <translation>Настройки «%1» изменены.
Применить изменения или отбросить их?</translation>
    </message>
    <message>
        <location line="+6"/>
        <location line="+24"/>
        <source>&amp;Discard</source>
        <translation>&amp;Отбросить</translation>
    </message>
    <message>
        <location line="-3"/>
        <source>Discard changes</source>
        <translation>Отбросить изменения</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Discard the changes that were not applied?</source>
        <translation>Отбросить изменения, которые не были применены?</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>&amp;Keep editing</source>
        <translation>&amp;Продолжить правку</translation>
    </message>
    <message>
        <location line="+16"/>
        <source>The console closes when the update has ended.</source>
        <translation>Консоль закроется, когда обновление завершится.</translation>
    </message>
    <message>
        <location line="+130"/>
        <source>%1 failed:</source>
        <translation>Задача «%1» завершилась с ошибкой:</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>%1 ended with warnings:</source>
        <translation>Задача «%1» завершилась с предупреждениями:</translation>
    </message>
</context>
<context>
    <name>MessageArea</name>
    <message>
        <location filename="../framework/messagearea.cpp" line="+30"/>
        <source>Close the message</source>
        <translation>Закрыть сообщение</translation>
    </message>
</context>
<context>
    <name>PluginCatalog</name>
    <message>
        <location filename="../console/plugincatalog.cpp" line="+40"/>
        <source>Plug-in directory %1 does not exist.</source>
        <translation>Каталог подключаемых модулей %1 не существует.</translation>
    </message>
    <message>
        <location line="+16"/>
        <source>interface identifier &quot;%1&quot; is not &quot;%2&quot;</source>
        <translation>идентификатор интерфейса «%1» не равен «%2»</translation>
    </message>
    <message>
        <location line="+3"/>
        <location line="+9"/>
        <source>%1: %2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <location line="-2"/>
        <source>invalid plug-in</source>
        <translation>недопустимый подключаемый модуль</translation>
    </message>
</context>
<context>
    <name>TaskPanel</name>
    <message>
        <location filename="../console/taskpanel.cpp" line="+47"/>
        <location line="+14"/>
        <source>C&amp;lear finished</source>
        <translation>&amp;Очистить завершённые</translation>
    </message>
    <message>
        <location line="-10"/>
        <source>Task</source>
        <translation>Задача</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>Status</source>
        <translation>Состояние</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>Started</source>
        <translation>Начало</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>Message</source>
        <translation>Сообщение</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Double-click a task to read its whole message.</source>
        <translation>Дважды щёлкните задачу, чтобы прочитать сообщение целиком.</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>&amp;Show the whole message</source>
        <translation>&amp;Показать сообщение целиком</translation>
    </message>
    <message>
        <location line="+8"/>
        <source>Remove the tasks that have ended from the list</source>
        <translation>Убрать завершённые задачи из списка</translation>
    </message>
    <message>
        <location line="+24"/>
        <source>Running</source>
        <translation>Выполняется</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Failed</source>
        <translation>Ошибка</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Succeeded</source>
        <translation>Успешно</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Succeeded with warnings</source>
        <translation>Успешно, с предупреждениями</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Finished</source>
        <translation>Завершено</translation>
    </message>
    <message>
        <location line="+22"/>
        <source>Load plug-in</source>
        <translation>Загрузка подключаемого модуля</translation>
    </message>
    <message>
        <location line="+52"/>
        <source>%1, started %2</source>
        <translation>%1, начало: %2</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <location filename="../console/main.cpp" line="+73"/>
        <source>Graphical system administration console.</source>
        <translation>Графическая консоль администрирования системы.</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Load plug-ins from &lt;dir&gt;.</source>
        <translation>Загружать подключаемые модули из &lt;dir&gt;.</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>Use &lt;dir&gt; as the root of every system path.</source>
        <translation>Использовать &lt;dir&gt; как корень всех системных путей.</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>Render every element widget to a PNG in &lt;dir&gt; and exit.</source>
        <translation>Сохранить изображение каждого элемента в PNG в &lt;dir&gt; и выйти.</translation>
    </message>
</context>
</TS>
