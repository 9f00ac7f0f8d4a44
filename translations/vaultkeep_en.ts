<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>KCellModel</name>
    <message>
        <source>（空）</source>
        <translation>(empty)</translation>
    </message>
    <message>
        <source>工作表</source>
        <translation>Sheet</translation>
    </message>
    <message>
        <source>单元格</source>
        <translation>Cell</translation>
    </message>
    <message>
        <source>此前</source>
        <translation>Before</translation>
    </message>
    <message>
        <source>此后</source>
        <translation>After</translation>
    </message>
</context>
<context>
    <name>KCleanDlg</name>
    <message>
        <source>当前备份大小：</source>
        <translation>Current backup size:</translation>
    </message>
    <message>
        <source>请稍候...</source>
        <translation>Please wait...</translation>
    </message>
    <message>
        <source>全部清理</source>
        <translation>Clean up all</translation>
    </message>
    <message>
        <source>可释放</source>
        <translation>Frees</translation>
    </message>
    <message>
        <source>清除今天之前</source>
        <translation>Clean up before today</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>清除</source>
        <translation>Clean up</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>今天之前的备份将被永久删除，这些版本再也无法恢复或找回。确定清除吗？</source>
        <translation>Backups made before today will be deleted for good, and those versions can never be restored. Clean up?</translation>
    </message>
    <message>
        <source>全部备份将被永久删除，所有版本再也无法恢复或找回。确定清除吗？</source>
        <translation>All backups will be deleted for good, and no version can ever be restored. Clean up?</translation>
    </message>
</context>
<context>
    <name>KCompareDialog</name>
    <message>
        <source>版本比较</source>
        <translation>Compare versions</translation>
    </message>
    <message>
        <source>正在比较，请稍候...</source>
        <translation>Comparing, please wait...</translation>
    </message>
    <message>
        <source>差异（红色为不同之处）</source>
        <translation>Differences (in red)</translation>
    </message>
    <message>
        <source>只读打开此版本</source>
        <translation>Open this version read-only</translation>
    </message>
    <message>
        <source>此版本</source>
        <translation>This version</translation>
    </message>
    <message>
        <source>当前文件</source>
        <translation>Current file</translation>
    </message>
    <message>
        <source>上一版本</source>
        <translation>Previous version</translation>
    </message>
    <message>
        <source>文件无法读取，它可能已被移动或删除。</source>
        <translation>The file cannot be read. It may have been moved or deleted.</translation>
    </message>
    <message>
        <source>内容过多（超过 %1 MB 或 %2 万行），只显示摘要。</source>
        <translation>Too much content (over %1 MB or %2 0000 lines); only a summary is shown.</translation>
    </message>
    <message>
        <source>文件含有非文本内容。</source>
        <translation>The file holds content that is not text.</translation>
    </message>
    <message>
        <source>文档超过 64 MB。</source>
        <translation>The document is larger than 64 MB.</translation>
    </message>
    <message>
        <source>文档内的条目过多，可能是恶意文件。</source>
        <translation>The document holds too many entries and may be malicious.</translation>
    </message>
    <message>
        <source>文档已损坏，无法解压。</source>
        <translation>The document is damaged and cannot be unpacked.</translation>
    </message>
    <message>
        <source>文档内的条目“%1”指向文档之外，可能是恶意文件。</source>
        <translation>The entry &quot;%1&quot; points outside the document, which may be malicious.</translation>
    </message>
    <message>
        <source>文档缺少“%1”，可能已损坏。</source>
        <translation>The document lacks &quot;%1&quot; and may be damaged.</translation>
    </message>
    <message>
        <source>文档内的条目“%1”超过 32 MB。</source>
        <translation>The entry &quot;%1&quot; in the document is larger than 32 MB.</translation>
    </message>
    <message>
        <source>文档内的条目“%1”解压后异常膨胀，疑似压缩炸弹。</source>
        <translation>The entry &quot;%1&quot; grows abnormally when unpacked, like a compression bomb.</translation>
    </message>
    <message>
        <source>文档内容“%1”格式有误。</source>
        <translation>The document content &quot;%1&quot; is malformed.</translation>
    </message>
    <message>
        <source>图片过大。</source>
        <translation>The picture is too large.</translation>
    </message>
    <message>
        <source>图片已损坏，或其格式不受支持。</source>
        <translation>The picture is damaged, or its format is not supported.</translation>
    </message>
    <message>
        <source>文件已不存在，也没有更早的版本可以比较。</source>
        <translation>The file no longer exists, and there is no earlier version to compare with.</translation>
    </message>
    <message>
        <source>无法比较：%1</source>
        <translation>Cannot compare: %1</translation>
    </message>
    <message>
        <source>两者内容完全相同。</source>
        <translation>The two are identical.</translation>
    </message>
    <message>
        <source>文字相同，不同之处在格式、换行或编码上。</source>
        <translation>The text is the same; they differ in formatting, line breaks or encoding.</translation>
    </message>
    <message>
        <source>删除 %1 行，新增 %2 行。</source>
        <translation>%1 lines removed, %2 lines added.</translation>
    </message>
    <message>
        <source>改动较多，部分内容按整段显示。</source>
        <translation>Many changes: some are shown as whole blocks.</translation>
    </message>
    <message>
        <source>只列出前 %1 行。</source>
        <translation>Only the first %1 lines are listed.</translation>
    </message>
    <message>
        <source>单元格内容相同，不同之处在格式或其他内容上。</source>
        <translation>The cells are the same; they differ in formatting or other content.</translation>
    </message>
    <message>
        <source>共 %1 个单元格不同。</source>
        <translation>%1 cells differ.</translation>
    </message>
    <message>
        <source>只列出前 %1 个。</source>
        <translation>Only the first %1 are listed.</translation>
    </message>
    <message>
        <source>共 %1 个像素不同，占 %2%。</source>
        <translation>%1 pixels differ (%2%).</translation>
    </message>
    <message>
        <source>尺寸由 %1×%2 变为 %3×%4。</source>
        <translation>Size changed from %1×%2 to %3×%4.</translation>
    </message>
    <message>
        <source>此类文件无法逐项比较，以下是两者的摘要。</source>
        <translation>Files of this kind cannot be compared item by item. Here is a summary of both.</translation>
    </message>
    <message>
        <source>%1：%2，%3</source>
        <translation>%1: %2, %3</translation>
    </message>
    <message>
        <source>%1：%2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>逐字节比较：完全相同</source>
        <translation>Byte by byte: identical</translation>
    </message>
    <message>
        <source>逐字节比较：从第 %1 个字节起不同</source>
        <translation>Byte by byte: they differ from byte %1 on</translation>
    </message>
</context>
<context>
    <name>KDeletedWidget</name>
    <message>
        <source>Vaultkeep发现下列文件已被删除，是误删的要及时找回哦</source>
        <translation>Vaultkeep found that these files were deleted. If that was a mistake, bring them back soon.</translation>
    </message>
    <message>
        <source>清空列表</source>
        <translation>Clear list</translation>
    </message>
    <message>
        <source>搜索文件名</source>
        <translation>Search file names</translation>
    </message>
    <message>
        <source>提示</source>
        <translation>Notice</translation>
    </message>
    <message>
        <source>清空列表将再也无法找回这些文件，确定清空吗？</source>
        <translation>Once the list is cleared, these files can never be brought back. Clear it?</translation>
    </message>
    <message>
        <source>确定清空</source>
        <translation>Clear</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>对不起，文件删除失败！</source>
        <translation>Sorry, the file could not be deleted.</translation>
    </message>
</context>
<context>
    <name>KDiffModel</name>
    <message>
        <source>⋯ %1 行相同内容未显示</source>
        <translation>⋯ %1 identical lines not shown</translation>
    </message>
</context>
<context>
    <name>KDriveName</name>
    <message>
        <source>%1盘</source>
        <translation>Drive %1</translation>
    </message>
    <message>
        <source>主文件夹</source>
        <translation>Home folder</translation>
    </message>
</context>
<context>
    <name>KFileServiceManager</name>
    <message>
        <source>计价自备份(%1)</source>
        <translation>Pricing app backups (%1)</translation>
    </message>
</context>
<context>
    <name>KFileVersionDlg</name>
    <message>
        <source>文件备份列表</source>
        <translation>File backups</translation>
    </message>
    <message>
        <source>共备份</source>
        <translation>Versions:</translation>
    </message>
    <message>
        <source>0</source>
        <translation>0</translation>
    </message>
    <message>
        <source>次</source>
        <translation> </translation>
    </message>
    <message>
        <source>正在处理，请稍候...</source>
        <translation>Working, please wait...</translation>
    </message>
    <message>
        <source> 备份成功</source>
        <translation> Backed up</translation>
    </message>
    <message>
        <source>找不到“%1”，它没有备份。</source>
        <translation>&quot;%1&quot; was not found; it has no backups.</translation>
    </message>
    <message>
        <source>“%1”未受保护：Vaultkeep不保护“.%2”类型的文件。</source>
        <translation>&quot;%1&quot; is not protected: Vaultkeep does not protect &quot;.%2&quot; files.</translation>
    </message>
    <message>
        <source>“%1”未受保护：它所在的文件夹“%2”已在设置中排除。</source>
        <translation>&quot;%1&quot; is not protected: its folder &quot;%2&quot; is excluded in the settings.</translation>
    </message>
    <message>
        <source>“%1”未受保护：没有程序在最近文件里列出它。用编辑它的程序保存一次，即可受到保护。</source>
        <translation>&quot;%1&quot; is not protected: no program lists it among its recent files. Save it once in the program you edit it with, and it will be.</translation>
    </message>
    <message>
        <source>“%1”尚无备份：它七天内没有改动，Vaultkeep只备份七天内改动过的文件。</source>
        <translation>&quot;%1&quot; has no backup yet: it has not changed in seven days, and Vaultkeep only backs up files changed in the last seven days.</translation>
    </message>
    <message>
        <source>“%1”尚无备份：Vaultkeep会在下次备份时（几分钟内）为它备份。</source>
        <translation>&quot;%1&quot; has no backup yet: Vaultkeep backs it up in the next backup (within minutes).</translation>
    </message>
    <message>
        <source>“%1”已受保护。</source>
        <translation>&quot;%1&quot; is protected.</translation>
    </message>
    <message>
        <source>%1 已丢失</source>
        <translation>%1 missing</translation>
    </message>
    <message>
        <source>已丢失</source>
        <translation>Missing</translation>
    </message>
</context>
<context>
    <name>KFindBackLabel</name>
    <message>
        <source>恢复中，请稍候...</source>
        <translation>Restoring, please wait...</translation>
    </message>
</context>
<context>
    <name>KHomeWidget</name>
    <message>
        <source>logo图片</source>
        <translation>Logo</translation>
    </message>
    <message>
        <source>正在保护工程文件</source>
        <translation>Protecting your project files</translation>
    </message>
    <message>
        <source>已累计为您备份</source>
        <translation>Backups made:</translation>
    </message>
    <message>
        <source>次工程文件</source>
        <translation>so far</translation>
    </message>
    <message>
        <source>已保护</source>
        <translation>Protecting</translation>
    </message>
    <message>
        <source>个工程文件,</source>
        <translation>project files,</translation>
    </message>
    <message>
        <source>您可以恢复到过去版本</source>
        <translation>restore earlier versions</translation>
    </message>
    <message>
        <source>个文件被删除,</source>
        <translation>deleted files,</translation>
    </message>
    <message>
        <source>已发现</source>
        <translation>Found</translation>
    </message>
    <message>
        <source>您可以在此找回</source>
        <translation>bring them back here</translation>
    </message>
    <message>
        <source>备份空间充足，可以放心使用</source>
        <translation>Plenty of backup space, no worries</translation>
    </message>
    <message>
        <source>剩余</source>
        <translation>Free</translation>
    </message>
    <message>
        <source>设置</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>立即备份</source>
        <translation>Back up now</translation>
    </message>
    <message>
        <source>刚刚</source>
        <translation>just now</translation>
    </message>
    <message>
        <source>即将开始</source>
        <translation>starting soon</translation>
    </message>
    <message>
        <source>正在备份: 已检查 %1 个文件，已备份 %2 个</source>
        <translation>Backing up: %1 files checked, %2 backed up</translation>
    </message>
    <message>
        <source>最近备份: %1</source>
        <translation>Last backup: %1</translation>
    </message>
    <message>
        <source> · 下次: %1</source>
        <translation> · next: %1</translation>
    </message>
    <message>
        <source>正在上传到异地备份</source>
        <translation>Uploading to the off-site backup</translation>
    </message>
    <message>
        <source>异地备份: 尚未上传</source>
        <translation>Off-site backup: nothing uploaded yet</translation>
    </message>
    <message>
        <source>异地备份: %1 · 新增 %2</source>
        <translation>Off-site backup: %1 · %2 new</translation>
    </message>
    <message>
        <source>%1,剩余%2G</source>
        <translation>%1, %2 GB free</translation>
    </message>
    <message>
        <source>备份盘空间充足，可以放心使用</source>
        <translation>Plenty of backup space</translation>
    </message>
    <message>
        <source>              备份盘空间不足</source>
        <translation>The backup drive is running out of space</translation>
    </message>
    <message numerus="yes">
        <source>%n 分钟前</source>
        <translation>
            <numerusform>%n minute ago</numerusform>
            <numerusform>%n minutes ago</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n 小时前</source>
        <translation>
            <numerusform>%n hour ago</numerusform>
            <numerusform>%n hours ago</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n 天前</source>
        <translation>
            <numerusform>%n day ago</numerusform>
            <numerusform>%n days ago</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n 分钟后</source>
        <translation>
            <numerusform>in %n minute</numerusform>
            <numerusform>in %n minutes</numerusform>
        </translation>
    </message>
    <message>
        <source>按最近7天的增长，备份盘1天内将满</source>
        <translation>At last week&apos;s growth the backup drive is full within a day</translation>
    </message>
    <message numerus="yes">
        <source>按最近7天的增长，约 %n 天后备份盘将满</source>
        <translation>
            <numerusform>At last week&apos;s growth the backup drive is full in about %n day</numerusform>
            <numerusform>At last week&apos;s growth the backup drive is full in about %n days</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>KLocalSocketMessaging</name>
    <message>
        <source>Cannot make a socket for %1: %2</source>
        <translation>Cannot make a socket for %1: %2</translation>
    </message>
    <message>
        <source>%1 is in the way of the window&apos;s socket</source>
        <translation>%1 is in the way of the window&apos;s socket</translation>
    </message>
    <message>
        <source>Cannot remove the socket a closed program left at %1: %2</source>
        <translation>Cannot remove the socket a closed program left at %1: %2</translation>
    </message>
    <message>
        <source>Cannot listen on %1: %2</source>
        <translation>Cannot listen on %1: %2</translation>
    </message>
    <message>
        <source>The message folder %1 cannot be examined: %2</source>
        <translation>The message folder %1 cannot be examined: %2</translation>
    </message>
    <message>
        <source>The message folder %1 is a symbolic link; only a folder of the user&apos;s own is used</source>
        <translation>The message folder %1 is a symbolic link; only a folder of the user&apos;s own is used</translation>
    </message>
    <message>
        <source>The message folder %1 is not a folder</source>
        <translation>The message folder %1 is not a folder</translation>
    </message>
    <message>
        <source>The message folder %1 belongs to another user (uid %2); it must be the user&apos;s own</source>
        <translation>The message folder %1 belongs to another user (uid %2); it must be the user&apos;s own</translation>
    </message>
    <message>
        <source>The message folder %1 has mode %2; it must be 0700, so that no other user may enter it</source>
        <translation>The message folder %1 has mode %2; it must be 0700, so that no other user may enter it</translation>
    </message>
    <message>
        <source>Cannot create the message folder %1: %2</source>
        <translation>Cannot create the message folder %1: %2</translation>
    </message>
    <message>
        <source>No window carries %1: the message folder %2 does not exist</source>
        <translation>No window carries %1: the message folder %2 does not exist</translation>
    </message>
    <message>
        <source>nothing listens there</source>
        <translation>nothing listens there</translation>
    </message>
    <message>
        <source>the program that listened there has ended</source>
        <translation>the program that listened there has ended</translation>
    </message>
    <message>
        <source>No window carries %1 at %2: %3</source>
        <translation>No window carries %1 at %2: %3</translation>
    </message>
    <message>
        <source>A window, a handler and a property name that makes a socket path in %1 are needed, on the application&apos;s thread</source>
        <translation>A window, a handler and a property name that makes a socket path in %1 are needed, on the application&apos;s thread</translation>
    </message>
    <message>
        <source>Another window of this program carries %1</source>
        <translation>Another window of this program carries %1</translation>
    </message>
    <message>
        <source>Another program is taking %1 at %2</source>
        <translation>Another program is taking %1 at %2</translation>
    </message>
    <message>
        <source>A live window of another program carries %1 at %2</source>
        <translation>A live window of another program carries %1 at %2</translation>
    </message>
    <message>
        <source>%1 makes no socket path in %2</source>
        <translation>%1 makes no socket path in %2</translation>
    </message>
    <message>
        <source>The message to %1 could not be written: %2</source>
        <translation>The message to %1 could not be written: %2</translation>
    </message>
    <message>
        <source>The window that carried %1 has gone</source>
        <translation>The window that carried %1 has gone</translation>
    </message>
    <message>
        <source>Message %1 cannot be posted to that window</source>
        <translation>Message %1 cannot be posted to that window</translation>
    </message>
    <message>
        <source>That copy-data cannot be sent to that window</source>
        <translation>That copy-data cannot be sent to that window</translation>
    </message>
    <message>
        <source>The copy-data to %1 could not be written: %2</source>
        <translation>The copy-data to %1 could not be written: %2</translation>
    </message>
    <message>
        <source>The window that carries %1 did not answer</source>
        <translation>The window that carries %1 did not answer</translation>
    </message>
</context>
<context>
    <name>KMisCodeWidget</name>
    <message>
        <source>搜索文件名</source>
        <translation>Search file names</translation>
    </message>
</context>
<context>
    <name>KMoveBackFolderWidget</name>
    <message>
        <source>正在转移备份，请稍候...</source>
        <translation>Moving the backups, please wait...</translation>
    </message>
    <message>
        <source>转移备份</source>
        <translation>Move backups</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>另一次转移还没有结束</source>
        <translation>another move has not finished yet</translation>
    </message>
    <message>
        <source>新位置已有同名的其他文件</source>
        <translation>the new place already holds other files of the same names</translation>
    </message>
    <message>
        <source>新位置的磁盘空间不足</source>
        <translation>the new place is short of disk space</translation>
    </message>
    <message>
        <source>新位置不允许写入</source>
        <translation>the new place cannot be written to</translation>
    </message>
    <message>
        <source>新位置已不存在</source>
        <translation>the new place no longer exists</translation>
    </message>
    <message>
        <source>备份文件 %1 无法读取</source>
        <translation>the backup file %1 cannot be read</translation>
    </message>
    <message>
        <source>备份文件 %1 正被其他程序写入</source>
        <translation>another program is writing the backup file %1</translation>
    </message>
    <message>
        <source>%1 不是可以转移的文件</source>
        <translation>%1 is not a file that can be moved</translation>
    </message>
    <message>
        <source>新位置在备份目录之内</source>
        <translation>the new place is inside the backup folder</translation>
    </message>
    <message>
        <source>转移被中止</source>
        <translation>the move was stopped</translation>
    </message>
    <message>
        <source>文件夹 %1 无法读取</source>
        <translation>the folder %1 cannot be read</translation>
    </message>
    <message>
        <source>备份文件 %1 在新位置保存后与原件不符</source>
        <translation>the backup file %1 saved in the new place does not match the original</translation>
    </message>
    <message>
        <source>备份文件 %1 已损坏，与备份时记录的不符</source>
        <translation>the backup file %1 is damaged: it does not match what was recorded when it was made</translation>
    </message>
    <message>
        <source>新位置的磁盘写入出错</source>
        <translation>writing to the new place&apos;s disk failed</translation>
    </message>
    <message>
        <source>设置无法保存</source>
        <translation>the settings cannot be saved</translation>
    </message>
    <message>
        <source>转移时出错</source>
        <translation>something went wrong while moving</translation>
    </message>
    <message>
        <source>备份没有转移：%1。
全部备份仍保存在原来的位置：%2</source>
        <translation>The backups were not moved: %1.
All backups are still in their old place: %2</translation>
    </message>
</context>
<context>
    <name>KNoDataWidget</name>
    <message>
        <source>Vaultkeep保护中，只要此类文件有改动就会自动为您备份</source>
        <translation>Vaultkeep is on guard: any change to files of this kind is backed up automatically</translation>
    </message>
    <message>
        <source>Vaultkeep保护中，已备份的文件被删除后会在这里看到</source>
        <translation>Vaultkeep is on guard: backed-up files that get deleted show up here</translation>
    </message>
</context>
<context>
    <name>KOffsiteBackup</name>
    <message>
        <source>未安装 restic，请先安装：sudo apt install restic</source>
        <translation>restic is not installed. Install it first: sudo apt install restic</translation>
    </message>
    <message>
        <source>需要输入异地备份密码</source>
        <translation>The off-site backup password is needed</translation>
    </message>
    <message>
        <source>无法连接异地备份位置，稍后自动重试</source>
        <translation>Cannot reach the off-site backup location; retrying later</translation>
    </message>
    <message>
        <source>异地备份密码不正确，请在设置中重新输入</source>
        <translation>The off-site backup password is wrong; enter it again in the settings</translation>
    </message>
    <message>
        <source>该位置还不是备份仓库</source>
        <translation>This location is not a backup repository yet</translation>
    </message>
    <message>
        <source>异地备份仓库正被占用，稍后自动重试</source>
        <translation>The off-site repository is busy; retrying later</translation>
    </message>
    <message>
        <source>异地备份已中断，稍后自动继续</source>
        <translation>The off-site backup was interrupted; continuing later</translation>
    </message>
    <message>
        <source>异地备份校验未通过，请检查备份位置</source>
        <translation>The off-site backup failed its check; please check the backup location</translation>
    </message>
    <message>
        <source>异地备份中没有这个版本</source>
        <translation>This version is not in the off-site backup</translation>
    </message>
    <message>
        <source>异地备份失败，稍后自动重试</source>
        <translation>The off-site backup failed; retrying later</translation>
    </message>
</context>
<context>
    <name>KOffsiteDlg</name>
    <message>
        <source>在另一处保存一份备份（异地备份）</source>
        <translation>Keep a copy of the backups elsewhere (off-site backup)</translation>
    </message>
    <message>
        <source>备份位置</source>
        <translation>Location</translation>
    </message>
    <message>
        <source>文件夹，或 sftp:、rest:、s3:、rclone: 位置</source>
        <translation>A folder, or an sftp:, rest:, s3: or rclone: location</translation>
    </message>
    <message>
        <source>仓库密码</source>
        <translation>Password</translation>
    </message>
    <message>
        <source>保留</source>
        <translation>Keep for</translation>
    </message>
    <message>
        <source> 天</source>
        <translation> days</translation>
    </message>
    <message>
        <source>上传间隔</source>
        <translation>Upload every</translation>
    </message>
    <message>
        <source> 分钟</source>
        <translation> minutes</translation>
    </message>
    <message>
        <source>未找到系统密钥环：密码只在本次运行期间保存，下次启动需要重新输入。</source>
        <translation>No system keyring was found: the password is kept only while Vaultkeep runs and must be entered again at the next start.</translation>
    </message>
    <message>
        <source>未安装 restic，异地备份无法运行。请在终端中执行：sudo apt install restic</source>
        <translation>restic is not installed, so off-site backup cannot run. In a terminal, run: sudo apt install restic</translation>
    </message>
    <message>
        <source>测试连接</source>
        <translation>Test connection</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>异地备份</source>
        <translation>Off-site backup</translation>
    </message>
    <message>
        <source>已保存，不修改请留空</source>
        <translation>Saved; leave empty to keep it</translation>
    </message>
    <message>
        <source>请先填写备份位置</source>
        <translation>Enter a location first</translation>
    </message>
    <message>
        <source>正在连接...</source>
        <translation>Connecting...</translation>
    </message>
    <message>
        <source>该位置还不是备份仓库，要在这里新建一个吗？</source>
        <translation>This location is not a backup repository yet. Create one here?</translation>
    </message>
    <message>
        <source>新建</source>
        <translation>Create</translation>
    </message>
    <message>
        <source>正在新建备份仓库...</source>
        <translation>Creating the repository...</translation>
    </message>
    <message>
        <source>已新建备份仓库，可以使用</source>
        <translation>Repository created and ready</translation>
    </message>
    <message>
        <source>连接成功，备份仓库可以使用</source>
        <translation>Connected; the repository is ready</translation>
    </message>
    <message>
        <source>请输入备份仓库的密码</source>
        <translation>Enter the repository&apos;s password</translation>
    </message>
    <message>
        <source>设置未能保存，请检查磁盘空间后重试</source>
        <translation>The settings could not be saved. Check the disk space and try again</translation>
    </message>
    <message>
        <source>全部恢复...</source>
        <translation>Restore all...</translation>
    </message>
    <message>
        <source>换了新电脑或备份目录丢失时，从最新的异地备份取回全部备份版本和记录。</source>
        <translation>On a new computer, or when the backup folder is lost, bring back every version and its records from the latest off-site backup.</translation>
    </message>
    <message>
        <source>请先填写备份位置和仓库密码</source>
        <translation>Enter the backup location and the repository password first</translation>
    </message>
    <message>
        <source>备份目录中已有备份版本。全部恢复会补回缺少的版本，已有的版本保持不变。要继续吗？</source>
        <translation>The backup folder already holds versions. Restoring all brings back the missing ones and leaves the others as they are. Continue?</translation>
    </message>
    <message>
        <source>全部恢复</source>
        <translation>Restore all</translation>
    </message>
    <message>
        <source>正在从异地备份恢复全部备份，请稍候...</source>
        <translation>Restoring all backups from the off-site backup, please wait...</translation>
    </message>
    <message>
        <source>恢复完成：取回 %1 个版本，%2 个版本原本就在</source>
        <translation>Restored: %1 versions brought back, %2 were already here</translation>
    </message>
    <message>
        <source>恢复未完成，备份目录保持原样：%1</source>
        <translation>Not restored; the backup folder is as it was: %1</translation>
    </message>
</context>
<context>
    <name>KReadOnlyOpen</name>
    <message>
        <source>打开文件失败！</source>
        <translation>The file could not be opened.</translation>
    </message>
</context>
<context>
    <name>KRestoreSteps</name>
    <message>
        <source>备份文件丢失，请从其他版本恢复！</source>
        <translation>The backup file is missing. Restore from another version.</translation>
    </message>
    <message>
        <source>目标位置已有的文件无法先行备份，为免丢失，本次没有恢复。请检查备份盘的空间后再试。</source>
        <translation>The file already at the destination could not be backed up first, so nothing was restored to keep it safe. Check the space on the backup drive and try again.</translation>
    </message>
    <message>
        <source>打开文件失败！</source>
        <translation>The file could not be opened.</translation>
    </message>
    <message>
        <source>无法创建文件夹“%1”，文件没有恢复。建议您恢复到其他位置。</source>
        <translation>The folder &quot;%1&quot; could not be created, so the file was not restored. Try restoring it elsewhere.</translation>
    </message>
    <message>
        <source>无法连接异地备份位置，请检查网络或备份磁盘后再试。</source>
        <translation>Cannot reach the off-site backup location. Check the network or the backup disk and try again.</translation>
    </message>
    <message>
        <source>异地备份密码不正确，请在设置中重新输入后再试。</source>
        <translation>The off-site backup password is wrong. Enter it again in the settings and try again.</translation>
    </message>
    <message>
        <source>异地备份中没有这个版本，请从其他版本恢复。</source>
        <translation>This version is not in the off-site backup. Restore from another version.</translation>
    </message>
    <message>
        <source>异地备份中的这个版本也已损坏，请从其他版本恢复。</source>
        <translation>This version is damaged in the off-site backup too. Restore from another version.</translation>
    </message>
    <message>
        <source>从异地备份找回失败，请稍后再试。</source>
        <translation>Fetching from the off-site backup failed. Try again later.</translation>
    </message>
    <message>
        <source>备份文件已损坏，无法用它恢复，请从其他版本恢复！</source>
        <translation>The backup file is damaged and cannot be restored. Restore from another version.</translation>
    </message>
    <message>
        <source>目标位置是一个链接，为保护它指向的文件，本次没有恢复。请恢复到其他位置。</source>
        <translation>The destination is a link; to protect the file it points to, nothing was restored. Restore it elsewhere.</translation>
    </message>
    <message>
        <source>发现同名文件</source>
        <translation>A file of that name exists</translation>
    </message>
    <message>
        <source>目标位置已有同名文件，你是否需要自动改名并恢复？</source>
        <translation>A file of the same name is already there. Restore under a new name?</translation>
    </message>
    <message>
        <source>自动改名恢复</source>
        <translation>Restore renamed</translation>
    </message>
    <message>
        <source>覆盖目标文件</source>
        <translation>Replace it</translation>
    </message>
    <message>
        <source>恢复至其他位置</source>
        <translation>Restore elsewhere</translation>
    </message>
    <message>
        <source>所有文件 (%1)</source>
        <translation>All files (%1)</translation>
    </message>
    <message>
        <source>恢复失败</source>
        <translation>Restore failed</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>恭喜！已恢复至“%1”</source>
        <translation>Done! Restored to &quot;%1&quot;</translation>
    </message>
    <message>
        <source>无法恢复到原位置，可能原位置的文件正在编辑中，建议您恢复到其他位置。</source>
        <translation>Cannot restore to the original place; the file there may be open for editing. Try restoring it elsewhere.</translation>
    </message>
    <message>
        <source>无法恢复至桌面，可能桌面的文件正在编辑中，建议您恢复到其他位置。</source>
        <translation>Cannot restore to the desktop; the file there may be open for editing. Try restoring it elsewhere.</translation>
    </message>
    <message>
        <source>无法恢复到所选位置，可能那里的文件正在编辑中，建议您恢复到其他位置。</source>
        <translation>Cannot restore to the chosen place; the file there may be open for editing. Try restoring it elsewhere.</translation>
    </message>
    <message>
        <source>恢复至原位置</source>
        <translation>Restore to original place</translation>
    </message>
    <message>
        <source>恢复至桌面</source>
        <translation>Restore to desktop</translation>
    </message>
    <message>
        <source>再试一次</source>
        <translation>Try again</translation>
    </message>
</context>
<context>
    <name>KSettingDlg</name>
    <message>
        <source>备份存储于</source>
        <translation>Back up to</translation>
    </message>
    <message>
        <source>备份清理</source>
        <translation>Clean up backups</translation>
    </message>
    <message>
        <source>当前备份已占用:</source>
        <translation>Backups now take:</translation>
    </message>
    <message>
        <source>请稍候...</source>
        <translation>Please wait...</translation>
    </message>
    <message>
        <source>快捷清理...</source>
        <translation>Clean up...</translation>
    </message>
    <message>
        <source>当总占用空间超过</source>
        <translation>Remind me at</translation>
    </message>
    <message>
        <source>(0.5-1G)</source>
        <translation>GB (0.5–1)</translation>
    </message>
    <message>
        <source>时提醒我清理</source>
        <translation>in total</translation>
    </message>
    <message>
        <source>自动清理超过7天的备份</source>
        <translation>Delete backups older than 7 days automatically</translation>
    </message>
    <message>
        <source>用桌面通知显示提醒</source>
        <translation>Show reminders as desktop notifications</translation>
    </message>
    <message>
        <source>异地备份...</source>
        <translation>Off-site...</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>设置</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source> (系统盘，不建议使用)</source>
        <translation> (system, not advised)</translation>
    </message>
    <message>
        <source>(不足)</source>
        <translation> (low)</translation>
    </message>
    <message>
        <source>(充足)</source>
        <translation> (ample)</translation>
    </message>
    <message>
        <source>%1  %2G空闲%3</source>
        <translation>%1, %2 GB free%3</translation>
    </message>
    <message>
        <source>(0.5G-%1G)</source>
        <translation>GB (0.5–%1)</translation>
    </message>
    <message>
        <source>      您输入的大小已超出范围，请重新输入</source>
        <translation>That size is out of range. Please enter another.</translation>
    </message>
    <message>
        <source>界面语言</source>
        <translation>Language</translation>
    </message>
    <message>
        <source>下次启动时生效</source>
        <translation>Applies at next start</translation>
    </message>
    <message>
        <source>跟随系统</source>
        <translation>Follow system</translation>
    </message>
</context>
<context>
    <name>KSystemTitle</name>
    <message>
        <source>标题</source>
        <translation>Title</translation>
    </message>
</context>
<context>
    <name>KTableHeader</name>
    <message>
        <source>工程文件</source>
        <translation>Project file</translation>
    </message>
    <message>
        <source>备份数</source>
        <translation>Backups</translation>
    </message>
    <message>
        <source>最近备份日期</source>
        <translation>Last backup</translation>
    </message>
    <message>
        <source>操作</source>
        <translation>Actions</translation>
    </message>
</context>
<context>
    <name>KTableWidgetBackedFileItem</name>
    <message>
        <source>备份时间</source>
        <translation>Backed up</translation>
    </message>
    <message>
        <source>大小</source>
        <translation>Size</translation>
    </message>
    <message>
        <source>最新版本</source>
        <translation>Latest version</translation>
    </message>
    <message>
        <source>比较</source>
        <translation>Compare</translation>
    </message>
    <message>
        <source>只读打开</source>
        <translation>View</translation>
    </message>
    <message>
        <source>从异地备份找回</source>
        <translation>Fetch from off-site backup</translation>
    </message>
    <message>
        <source>删除</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>恢复至原位置</source>
        <translation>Restore to original place</translation>
    </message>
    <message>
        <source>查看此版本与当前文件的不同</source>
        <translation>See how this version differs from the current file</translation>
    </message>
    <message>
        <source>用默认程序打开此版本的只读副本，不会改动备份</source>
        <translation>Open a read-only copy of this version in its default program; the backup stays untouched</translation>
    </message>
    <message>
        <source>从异地备份取回此版本的备份文件，之后即可恢复</source>
        <translation>Fetch this version&apos;s backup file from the off-site backup, then restore it</translation>
    </message>
    <message>
        <source>正在从异地备份找回…</source>
        <translation>Fetching from the off-site backup…</translation>
    </message>
    <message>
        <source>  备份文件已损坏</source>
        <translation>  Backup file damaged</translation>
    </message>
    <message>
        <source>备份文件丢失，可以从异地备份找回。</source>
        <translation>The backup file is missing; it can be fetched from the off-site backup.</translation>
    </message>
    <message>
        <source>恢复到原位置</source>
        <translation>Restore to original place</translation>
    </message>
    <message>
        <source>这会覆盖您原有的工程文件，确定要恢复到原位置吗？</source>
        <translation>This replaces your project file as it is now. Restore to the original place?</translation>
    </message>
    <message>
        <source>确定覆盖</source>
        <translation>Replace</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>恭喜！文件已成功恢复</source>
        <translation>Done! The file was restored</translation>
    </message>
    <message>
        <source>恭喜！文件已恢复到桌面</source>
        <translation>Done! The file was restored to the desktop</translation>
    </message>
    <message>
        <source>删除备份</source>
        <translation>Delete backup</translation>
    </message>
    <message>
        <source>是否删除该备份文件？</source>
        <translation>Delete this backup file?</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>对不起，文件删除失败！</source>
        <translation>Sorry, the file could not be deleted.</translation>
    </message>
</context>
<context>
    <name>KTableWidgetDateTimeItem</name>
    <message>
        <source>当前月</source>
        <translation>This month</translation>
    </message>
</context>
<context>
    <name>KTableWidgetDeletedFileItem</name>
    <message>
        <source>图标</source>
        <translation>Icon</translation>
    </message>
    <message>
        <source>名字</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>路径</source>
        <translation>Path</translation>
    </message>
    <message>
        <source>删除</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>找回到原位置</source>
        <translation>Bring back to original place</translation>
    </message>
    <message>
        <source>选择其他版本</source>
        <translation>Choose another version</translation>
    </message>
    <message>
        <source>恭喜！文件已找回到原位置</source>
        <translation>Done! The file is back in its original place</translation>
    </message>
    <message>
        <source>恭喜！文件已找回到桌面</source>
        <translation>Done! The file is back, on the desktop</translation>
    </message>
    <message>
        <source>备份文件找回失败，可能文件正在被使用！</source>
        <translation>The file could not be brought back; it may be in use.</translation>
    </message>
    <message>
        <source>从异地备份找回</source>
        <translation>Fetch from off-site backup</translation>
    </message>
    <message>
        <source>这个文件的备份文件已丢失，是否从异地备份找回后再恢复？</source>
        <translation>This file&apos;s backup is missing. Fetch it from the off-site backup and then restore it?</translation>
    </message>
    <message>
        <source>找回</source>
        <translation>Fetch</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>从列表里删除后这个文件就再也无法找回了，您确认永久删除它吗？</source>
        <translation>Once removed from the list, this file can never be brought back. Delete it for good?</translation>
    </message>
    <message>
        <source>永久删除</source>
        <translation>Delete for good</translation>
    </message>
    <message>
        <source>对不起，文件删除失败！</source>
        <translation>Sorry, the file could not be deleted.</translation>
    </message>
</context>
<context>
    <name>KTableWidgetFileItem</name>
    <message>
        <source>版本恢复</source>
        <translation>Versions</translation>
    </message>
</context>
<context>
    <name>KTableWidgetSelfBackedItem</name>
    <message>
        <source>恢复到桌面</source>
        <translation>Restore to desktop</translation>
    </message>
</context>
<context>
    <name>KTipMsgManager</name>
    <message>
        <source>一键更换到%1(空间充足)</source>
        <translation>Switch to %1 (plenty of space)</translation>
    </message>
    <message>
        <source>您的备份盘（%1）空间不足无法备份</source>
        <translation>Your backup drive (%1) is too full to back up</translation>
    </message>
    <message>
        <source>工程文件正面临错编和误删的风险！建议立即更换备份盘</source>
        <translation>Your project files are at risk of bad edits and deletion. Switch backup drives now.</translation>
    </message>
    <message>
        <source>更换到其他盘</source>
        <translation>Use another drive</translation>
    </message>
    <message>
        <source>暂不理会</source>
        <translation>Not now</translation>
    </message>
    <message>
        <source>备份空间已占用%1G，超过了您设置的预警范围</source>
        <translation>Backups take %1 GB, more than your reminder limit</translation>
    </message>
    <message>
        <source>您可以清理Vaultkeep的备份空间了</source>
        <translation>Time to clean up Vaultkeep&apos;s backups</translation>
    </message>
    <message>
        <source>快捷清理...</source>
        <translation>Clean up...</translation>
    </message>
    <message>
        <source>查看设置</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>“%1”超过%2，没有备份</source>
        <translation>&quot;%1&quot; is over %2 and was not backed up</translation>
    </message>
    <message>
        <source>它有%1，大于设置的备份上限。</source>
        <translation>It is %1, larger than the backup limit set.</translation>
    </message>
    <message>
        <source>第一个工程文件已备份成功！</source>
        <translation>Your first project file is backed up!</translation>
    </message>
    <message>
        <source>文件改错了、误删了，都可以在Vaultkeep里恢复以前的版本。</source>
        <translation>Edited by mistake or deleted? Restore an earlier version in Vaultkeep.</translation>
    </message>
    <message>
        <source>打开Vaultkeep</source>
        <translation>Open Vaultkeep</translation>
    </message>
    <message>
        <source>按最近7天的增长，备份盘1天内将满！建议立即更换备份盘</source>
        <translation>At last week&apos;s growth the backup drive is full within a day. Switch backup drives now.</translation>
    </message>
    <message numerus="yes">
        <source>按最近7天的增长，约 %n 天后备份盘将满！建议立即更换备份盘</source>
        <translation>
            <numerusform>At last week&apos;s growth the backup drive is full in about %n day. Switch backup drives now.</numerusform>
            <numerusform>At last week&apos;s growth the backup drive is full in about %n days. Switch backup drives now.</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>KTrayIcon</name>
    <message>
        <source>打开Vaultkeep</source>
        <translation>Open Vaultkeep</translation>
    </message>
    <message>
        <source>立即备份</source>
        <translation>Back up now</translation>
    </message>
    <message>
        <source>关闭窗口后在托盘中继续保护</source>
        <translation>Keep protecting in the tray when the window closes</translation>
    </message>
    <message>
        <source>登录后自动启动</source>
        <translation>Start at login</translation>
    </message>
    <message>
        <source>退出</source>
        <translation>Quit</translation>
    </message>
    <message>
        <source>无法设置登录后自动启动</source>
        <translation>Could not turn on start at login</translation>
    </message>
    <message>
        <source>无法取消登录后自动启动</source>
        <translation>Could not turn off start at login</translation>
    </message>
</context>
<context>
    <name>KTrayState</name>
    <message>
        <source>正在启动</source>
        <translation>Starting</translation>
    </message>
    <message>
        <source>正在保护你的文件</source>
        <translation>Protecting your files</translation>
    </message>
    <message>
        <source>正在备份</source>
        <translation>Backing up</translation>
    </message>
    <message>
        <source>保护已暂停</source>
        <translation>Protection paused</translation>
    </message>
    <message>
        <source>备份所在的磁盘空间不足</source>
        <translation>The backup disk is low on space</translation>
    </message>
    <message>
        <source>上次有文件未能备份</source>
        <translation>Some files could not be backed up last time</translation>
    </message>
    <message>
        <source>尚未备份</source>
        <translation>No backup yet</translation>
    </message>
    <message>
        <source>最近备份: %1</source>
        <translation>Last backup: %1</translation>
    </message>
    <message>
        <source>恢复保护</source>
        <translation>Resume protection</translation>
    </message>
    <message>
        <source>暂停保护</source>
        <translation>Pause protection</translation>
    </message>
    <message>
        <source>正在上传到异地备份 %1%</source>
        <translation>Uploading to the off-site backup %1%</translation>
    </message>
    <message>
        <source>异地备份: 未安装 restic</source>
        <translation>Off-site backup: restic is not installed</translation>
    </message>
    <message>
        <source>异地备份: 需要输入密码</source>
        <translation>Off-site backup: the password is needed</translation>
    </message>
    <message>
        <source>异地备份: 密码不正确</source>
        <translation>Off-site backup: wrong password</translation>
    </message>
    <message>
        <source>异地备份: 无法连接备份位置</source>
        <translation>Off-site backup: cannot reach the location</translation>
    </message>
    <message>
        <source>异地备份: 校验未通过</source>
        <translation>Off-site backup: failed its check</translation>
    </message>
    <message>
        <source>异地备份: 上次上传失败</source>
        <translation>Off-site backup: the last upload failed</translation>
    </message>
    <message>
        <source>异地备份: 尚未上传</source>
        <translation>Off-site backup: nothing uploaded yet</translation>
    </message>
    <message>
        <source>异地备份: %1</source>
        <translation>Off-site backup: %1</translation>
    </message>
</context>
<context>
    <name>KTypeWidget</name>
    <message>
        <source>最近备份</source>
        <translation>Recent backups</translation>
    </message>
    <message>
        <source>全部备份</source>
        <translation>All backups</translation>
    </message>
    <message>
        <source>计价(%1)</source>
        <translation>Pricing (%1)</translation>
    </message>
    <message>
        <source>土建(%1)</source>
        <translation>Civil (%1)</translation>
    </message>
    <message>
        <source>钢筋(%1)</source>
        <translation>Rebar (%1)</translation>
    </message>
    <message>
        <source>安装(%1)</source>
        <translation>Installation (%1)</translation>
    </message>
    <message>
        <source>其他(%1)</source>
        <translation>Other (%1)</translation>
    </message>
    <message>
        <source>今天(%1)</source>
        <translation>Today (%1)</translation>
    </message>
    <message>
        <source>最近三天(%1)</source>
        <translation>Last 3 days (%1)</translation>
    </message>
    <message>
        <source>软件自备份(%1)</source>
        <translation>App backups (%1)</translation>
    </message>
</context>
<context>
    <name>KYMessageBox</name>
    <message>
        <source>提示</source>
        <translation>Notice</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
</context>
</TS>
