#include "app/notice.h"

namespace vx {
namespace {

const char* const kNoticeLines[] = {
    "青岚铃鹊专杀工具  使用说明",
    "本工具清除“青岚铃鹊”蠕虫，并修复它对本机造成的破坏。",
    "按下“全盘杀毒”后，本工具依次对本机做以下修改：",
    "1. 在注册表 HKEY_LOCAL_MACHINE 中写入一个值，",
    "   使资源管理器重新可以显示隐藏文件；",
    "2. 删除各驱动器根目录下的 autorun.inf 和 setup.exe；",
    "3. 结束蠕虫的进程，并删除系统目录下 drivers 文件夹中",
    "   与这些进程同名的程序文件；",
    "4. 按盘符从高到低扫描本地硬盘、移动磁盘和网络驱动器，",
    "   删除每个文件夹中蠕虫留下的两个标记文件；",
    "5. 从网页文件(htm、html、asp、php、jsp、aspx)中删去",
    "   被插入的隐藏框架代码，即窗口下方输入框中的内容；",
    "6. 把被感染的程序(exe、scr、pif、com)原地还原为",
    "   感染前的程序。",
    "网页和程序在原位置直接改写，不另留备份，",
    "如有重要文件，请先自行备份。",
    "每一项成功的操作都会在本窗口中记录一行。",
    "请以管理员身份运行，否则部分文件和注册表无法修改。",
    "扫描前请关闭其他正在运行的程序，扫描需要较长时间。",
    "“全盘杀毒”：开始扫描所有驱动器并清除蠕虫；",
    "“停止杀毒”：停止正在进行的扫描；",
    "“清空日志”：清空本窗口中的记录。",
    "后两个按钮也会再次清理各驱动器根目录下的上述文件。",
    "下方输入框可以修改：请填入在被感染网页中看到的代码，",
    "改好后按回车或离开输入框即生效，用于此后检查的网页。",
    "扫描中关闭窗口时，本工具先处理完当前文件再退出。",
    "本工具不联网，不保存任何设置，也不写任何日志文件。",
};
static_assert(sizeof(kNoticeLines) / sizeof(kNoticeLines[0]) == kNoticeLineCount,
              "the notice has exactly 27 lines");

}  // namespace

std::string NoticeText() {
  std::string text;
  for (int i = 0; i < kNoticeLineCount; ++i) {
    if (i > 0) text += "\r\n";
    text += kNoticeLines[i];
  }
  return text;
}

}  // namespace vx
